#include "driver/dialogs/PropertyFrame.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <atomic>
#include <stdexcept>
#include <vector>

#include "common/com/ComPtr.h"
#include "common/platform/TextFormat.h"
#include "driver/dialogs/MyForm.h"

namespace {

class TPropertyFrame;

// The frame's side of the protocol. Pages hold it by reference; once the frame is gone it answers without
// reaching it.
class TFrameSite final : public IPropertyPageSite {
  public:
    explicit TFrameSite(TPropertyFrame* frame) : frame_(frame) {}

    void Detach() { frame_ = nullptr; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IPropertyPageSite))
            return E_NOINTERFACE;
        *ppv = static_cast<IPropertyPageSite*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP OnStatusChange(DWORD flags) override;
    STDMETHODIMP GetLocaleID(LCID* locale) override {
        if (locale == nullptr) return E_POINTER;
        *locale = LOCALE_SYSTEM_DEFAULT;
        return S_OK;
    }
    STDMETHODIMP GetPageContainer(IUnknown** container) override {
        if (container != nullptr) *container = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP TranslateAccelerator(MSG*) override { return S_FALSE; }

  private:
    ~TFrameSite() = default;

    std::atomic<ULONG> refs_{1};
    TPropertyFrame* frame_;
};

class TPropertyFrame final : public QDialog {
  public:
    TPropertyFrame(QWidget* parent, std::span<IUnknown*> objects, std::span<IPropertyPage*> pages)
        : QDialog(parent,
                  Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
          objects_(objects.begin(), objects.end()) {
        site_.Attach(new TFrameSite(this));
        setWindowTitle("Свойства");
        tabs_ = new QTabWidget(this);
        tabs_->setObjectName("tabPages");
        for (IPropertyPage* page : pages) AddPage(page);
        auto* ok = new QPushButton("OK", this);
        ok->setObjectName("btnOK");
        ok->setDefault(true);
        auto* cancel = new QPushButton("Отмена", this);
        cancel->setObjectName("btnCancel");
        apply_ = new QPushButton("Применить", this);
        apply_->setObjectName("btnApply");
        apply_->setEnabled(false);
        for (QPushButton* b : {ok, cancel, apply_}) b->setAutoDefault(false);
        connect(ok, &QPushButton::clicked, this, [this] {
            if (ApplyDirty()) accept();
        });
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
        connect(apply_, &QPushButton::clicked, this, [this] { ApplyDirty(); });
        connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) { ShowOnly(index); });

        auto* buttons = new QHBoxLayout;
        buttons->addStretch();
        buttons->addWidget(ok);
        buttons->addWidget(cancel);
        buttons->addWidget(apply_);
        auto* all = new QVBoxLayout(this);
        all->setContentsMargins(8, 8, 8, 8);
        all->addWidget(tabs_);
        all->addLayout(buttons);
        all->setSizeConstraint(QLayout::SetFixedSize);
    }

    ~TPropertyFrame() override {
        for (const auto& page : pages_) {
            page->Deactivate();
            page->SetObjects(0, nullptr);
            page->SetPageSite(nullptr);
        }
        site_->Detach();
    }

    // Each page is set on the objects and activated in its tab's window; the first is shown.
    void ActivatePages() {
        for (std::size_t i = 0; i < pages_.size(); ++i) {
            QWidget* container = tabs_->widget(static_cast<int>(i));
            const RECT rect{0, 0, container->width(), container->height()};
            HRESULT hr = pages_[i]->SetPageSite(site_.Get());
            if (SUCCEEDED(hr))
                hr = pages_[i]->SetObjects(static_cast<ULONG>(objects_.size()), objects_.data());
            if (SUCCEEDED(hr))
                hr = pages_[i]->Activate(reinterpret_cast<HWND>(container->winId()), &rect, TRUE);
            if (FAILED(hr))
                throw std::runtime_error(
                    tessel::FormatText("Страница свойств не открылась: 0x%08X", static_cast<unsigned>(hr)));
        }
        ShowOnly(tabs_->currentIndex());
    }

    // Whether any page is dirty, for "Применить".
    void StatusChanged() {
        bool dirty = false;
        for (const auto& page : pages_) dirty = dirty || page->IsPageDirty() == S_OK;
        apply_->setEnabled(dirty);
    }

  private:
    void AddPage(IPropertyPage* page) {
        PROPPAGEINFO info{};
        info.cb = sizeof info;
        const HRESULT hr = page->GetPageInfo(&info);
        if (FAILED(hr))
            throw std::runtime_error(tessel::FormatText("Страница свойств не сообщила своих размеров: 0x%08X",
                                                        static_cast<unsigned>(hr)));
        const QString title = info.pszTitle != nullptr ? QString::fromUtf16(info.pszTitle) : QString();
        for (LPOLESTR text : {info.pszTitle, info.pszDocString, info.pszHelpFile}) CoTaskMemFree(text);
        auto* container = new QWidget;
        container->setFixedSize(info.size.cx, info.size.cy);
        tabs_->addTab(container, title);
        pages_.emplace_back(page);
    }

    void ShowOnly(int index) {
        for (std::size_t i = 0; i < pages_.size(); ++i)
            pages_[i]->Show(static_cast<int>(i) == index ? SW_SHOW : SW_HIDE);
    }

    // Applies every dirty page; false when one refused, which keeps the frame open.
    bool ApplyDirty() {
        bool ok = true;
        for (const auto& page : pages_)
            if (page->IsPageDirty() == S_OK && FAILED(page->Apply())) ok = false;
        StatusChanged();
        return ok;
    }

    std::vector<IUnknown*> objects_;
    std::vector<tessel::ComPtr<IPropertyPage>> pages_;
    tessel::ComPtr<TFrameSite> site_;
    QTabWidget* tabs_ = nullptr;
    QPushButton* apply_ = nullptr;
};

STDMETHODIMP TFrameSite::OnStatusChange(DWORD) {
    if (frame_ != nullptr) frame_->StatusChanged();
    return S_OK;
}

}  // namespace

LONG ShowFrame(LONG ownerWnd, const QPoint& at, std::span<IUnknown*> objects,
               std::span<IPropertyPage*> pages) {
    const TOwner owner = ownerWnd != 0 ? TOwner::FromHandle(ownerWnd) : TOwner::ActiveWindow();
    TPropertyFrame frame(owner.Widget(), objects, pages);
    owner.Attach(frame);
    frame.ActivatePages();
    frame.adjustSize();
    frame.move(owner.MapToScreen(at));
    return frame.exec() == QDialog::Accepted ? 1 : 0;
}
