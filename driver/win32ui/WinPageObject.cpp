#include "driver/win32ui/WinPageObject.h"

#include <memory>

#include "driver/forms/PageObject.h"
#include "driver/win32ui/WinPage.h"

namespace {

// The page's window is a child dialog of the frame's own (DS_CONTROL), so the frame's dialog keys reach it.
class TWinPageObject final : public TPageObjectBase {
  private:
    friend class TPageObjectBase;
    TWinPageObject() = default;
    ~TWinPageObject() override {
        // The window goes before the driver calls it holds.
        page_.reset();
    }

    bool MakePage(HWND parent, const RECT* rect, ITesselDriver* driver) override {
        DropPage();
        calls_ = std::make_unique<TDriverCalls>(driver);
        page_ = std::make_unique<TWinPage>(*calls_);
        page_->onModified = [this] { MarkDirty(); };
        page_->CreateChild(parent);
        if (rect != nullptr) MovePage(*rect);
        page_->UpdatePropertyPage();
        return true;
    }
    void DropPage() override {
        page_.reset();
        calls_.reset();
    }
    bool HasPage() const override { return page_ != nullptr; }
    SIZE PageSize() const override {
        RECT r{};
        if (page_ && GetWindowRect(page_->Handle(), &r)) return SIZE{r.right - r.left, r.bottom - r.top};
        return TWinPage::PageSize();
    }
    void ShowPage(bool visible) override { ShowWindow(page_->Handle(), visible ? SW_SHOWNORMAL : SW_HIDE); }
    void MovePage(const RECT& rect) override {
        SetWindowPos(page_->Handle(), nullptr, rect.left, rect.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    bool ApplyPage() override { return page_->Apply(); }

    std::unique_ptr<TDriverCalls> calls_;
    std::unique_ptr<TWinPage> page_;
};

}  // namespace

HRESULT CreateWinPageObject(REFIID riid, void** ppv) {
    return TPageObjectBase::Create<TWinPageObject>(riid, ppv);
}
