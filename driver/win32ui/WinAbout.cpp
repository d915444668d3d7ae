#include "driver/win32ui/WinAbout.h"

#include "driver/calls/DriverCalls.h"
#include "driver/win32ui/BaseIds.h"
#include "driver/win32ui/WinForm.h"

namespace {

class TWinAbout final : public TWinForm {
  public:
    explicit TWinAbout(std::string version) : TWinForm(IDD_ABOUT), version_(std::move(version)) {}
    ~TWinAbout() override {
        if (nameFont_ != nullptr) ::DeleteObject(nameFont_);
    }

  protected:
    bool OnInit() override {
        Send(IDC_ABOUT_ICON, STM_SETICON, reinterpret_cast<WPARAM>(::LoadIconW(nullptr, IDI_INFORMATION)));
        SetText(IDC_ABOUT_NAME, kDriverCaption);
        SetText(IDC_ABOUT_VERSION, "Версия драйвера: " + version_);
        // The name in the dialog font, bold and half as large again.
        LOGFONTW name{};
        auto font = reinterpret_cast<HFONT>(Send(IDC_ABOUT_NAME, WM_GETFONT));
        if (font != nullptr && ::GetObjectW(font, sizeof(name), &name) != 0) {
            name.lfWeight = FW_BOLD;
            name.lfHeight = name.lfHeight * 3 / 2;
            nameFont_ = ::CreateFontIndirectW(&name);
            if (nameFont_ != nullptr)
                Send(IDC_ABOUT_NAME, WM_SETFONT, reinterpret_cast<WPARAM>(nameFont_), TRUE);
        }
        return true;
    }

  private:
    std::string version_;
    HFONT nameFont_ = nullptr;
};

}  // namespace

LONG ShowWinAbout(const TDialogCall& call) {
    const TDriverCalls driver(call.driver);
    TWinAbout box(driver.Get(&ITesselDriver::get_Version));
    box.ShowModal(::GetActiveWindow());
    return 1;
}
