#include "driver/dialogs/PageObject.h"

#include <cstdint>

#include "driver/dialogs/fmuPage.h"

TPageObject::~TPageObject() {
    delete page_.data();
}

bool TPageObject::MakePage(HWND parent, const RECT* rect, ITesselDriver* driver) {
    QWidget* container = QWidget::find(static_cast<WId>(reinterpret_cast<std::uintptr_t>(parent)));
    if (container == nullptr) return false;
    delete page_.data();
    page_ = new TfmPage(container, driver);
    page_->onModified = [this] { MarkDirty(); };
    if (rect != nullptr) page_->move(rect->left, rect->top);
    page_->UpdatePropertyPage();
    return true;
}

void TPageObject::DropPage() {
    delete page_.data();
}

SIZE TPageObject::PageSize() const {
    const QSize size = page_ ? page_->size() : TfmPage::PageSize();
    return SIZE{size.width(), size.height()};
}

void TPageObject::ShowPage(bool visible) {
    page_->setVisible(visible);
}

void TPageObject::MovePage(const RECT& rect) {
    page_->move(rect.left, rect.top);
}

bool TPageObject::ApplyPage() {
    return page_->Apply();
}
