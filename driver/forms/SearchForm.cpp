#include "driver/forms/SearchForm.h"

#include <exception>

#include "common/platform/MessageQueue.h"

namespace {

std::string KindText(bool fuel) {
    return fuel ? "бензиновая" : "обычная";
}

std::string PortText(std::int32_t port, const std::string& address) {
    const std::string name = "COM" + std::to_string(port);
    return address.empty() ? name : name + " (" + address + ")";
}

}  // namespace

TSearchForm::TSearchForm(const TDriverCalls& driver, ISearchView& view) : driver_(driver), view_(view) {
    params_.Load();
}

TSearchForm::~TSearchForm() {
    StopEngine();
}

void TSearchForm::Init() {
    view_.ShowInfo("Для начала поиска нажмите кнопку \"Начать\"");
    view_.ShowProgressControls(false);
    view_.SetStartButton("Начать", true);
    view_.EnableSetup(true);
}

TECRSearch& TSearchForm::Engine() {
    if (!search_) {
        auto search = std::make_unique<TECRSearch>(driver_.Interface());
        // The search thread hands each notification to the window's thread and never waits for it: the
        // window's thread waits for the search thread when it stops the search.
        search->SetOnNotify([this](const TSearchNotification& n) { view_.Post([this, n] { Notified(n); }); });
        // The driver raises the answers' events on the window's thread, from its message queue: asked at the
        // end of a quiet wait, that thread raises at once what waits there, so that an answer that came in
        // time is not lost to the window's thread being slow to run.
        search->SetDeliverAnswers([this] {
            view_.Post([this] {
                try {
                    tessel::MessageQueue::ForCurrentThread()->DispatchPending();
                } catch (const std::exception&) {
                    // A failed delivery is the driver's to log; the search goes on with what came.
                }
                if (search_) search_->AnswersDelivered();
            });
        });
        search_ = std::move(search);
    }
    return *search_;
}

void TSearchForm::StopEngine() {
    // Stops a running search, waits for it and disconnects from the driver's events.
    search_.reset();
}

void TSearchForm::Closing() {
    StopEngine();
}

void TSearchForm::StartClicked() {
    ShowErrors(view_, [this] {
        // "Прервать": the window shows a search from its start to its end.
        if (search_ && running_) {
            view_.EnableStart(false);
            search_->Stop();
            return;
        }
        params_.Validate();
        TECRSearch& search = Engine();
        view_.EnableStart(false);
        try {
            search.Start(params_);
        } catch (...) {
            view_.EnableStart(true);
            throw;
        }
    });
}

void TSearchForm::SetupClicked() {
    ShowErrors(view_, [this] {
        if (view_.EditParams(params_)) params_.Save();
    });
}

void TSearchForm::Notified(const TSearchNotification& n) {
    ShowErrors(view_, [&] {
        switch (n.State) {
            case ssStarted:
                running_ = true;
                view_.EnableSetup(false);
                view_.SetStartButton("Прервать", true);
                view_.ShowInfo("Выполняется поиск:");
                view_.ShowCombination("", "", "");
                view_.ShowProgressControls(true);
                // Every item of both lists, checked or not.
                progressMaximum_ = static_cast<int>(params_.Count(TSearchList::BaudRates) *
                                                    params_.Count(TSearchList::ECRTypes));
                progress_ = 0;
                counted_ = {0, 0};
                view_.SetProgress(progress_, progressMaximum_);
                view_.ClearRows();
                found_.Clear();
                break;
            case ssNextPort:
                progress_ = 0;
                counted_ = {0, 0};
                view_.SetProgress(progress_, progressMaximum_);
                break;
            case ssTrying:
                view_.ShowCombination(": " + PortText(n.CurrentPort, n.CurrentPortAddress),
                                      ": " + BaudRateText(n.CurrentSpeed),
                                      ": " + KindText(n.CurrentKind == kKindFuel));
                if (counted_ != std::pair(n.CurrentSpeed, n.CurrentKind)) {
                    counted_ = {n.CurrentSpeed, n.CurrentKind};
                    progress_ = progress_ + 1 > progressMaximum_ ? 0 : progress_ + 1;
                    view_.SetProgress(progress_, progressMaximum_);
                }
                break;
            case ssFound: {
                const TSearchECR& device = found_.Add(n.Current);
                view_.AddRow({PortText(device.Port, device.PortAddress), BaudRateText(device.BaudRate),
                              std::to_string(device.Address), KindText(device.Fuel), device.Description,
                              device.ID});
                break;
            }
            case ssFinished:
                running_ = false;
                view_.EnableSetup(true);
                view_.SetStartButton("Начать", true);
                view_.ShowProgressControls(false);
                view_.ShowInfo("Поиск завершен. Найдено ККМ: " + std::to_string(found_.Count()));
                break;
            default:
                break;
        }
    });
}

void TSearchForm::Choose() {
    const TSearchECR* device = found_.FindByID(view_.SelectedRow());
    if (device == nullptr) {
        view_.Close(false);
        return;
    }
    const TSearchECR chosen = *device;
    StopEngine();
    const bool set = ShowErrors(view_, [&] {
        driver_.Put(&ITesselDriver::put_Fuel, chosen.Fuel);
        driver_.CheckResult();
        driver_.Put(&ITesselDriver::put_PortNumber, chosen.Port);
        driver_.CheckResult();
        driver_.Put(&ITesselDriver::put_BaudRate, chosen.BaudRate);
        driver_.CheckResult();
        driver_.Put(&ITesselDriver::put_DstAddress, chosen.Address);
        driver_.CheckResult();
    });
    view_.Close(set);
}
