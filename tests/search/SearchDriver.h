#pragma once
// A driver double for the search: it records every call, opens only the ports it is told exist, and answers
// the search request from a script, raising IPageEvents from a thread of its own as the driver's engine
// thread would.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "common/com/ComText.h"
#include "driver/search/untSearchParams.h"
#include "search/FakeDriver.h"

namespace searchtest {

using Clock = std::chrono::steady_clock;

// Only the given ports and speeds (counted from 1), the given kinds.
inline TSearchParams Only(std::set<std::size_t> ports, std::set<std::size_t> speeds, bool ordinary,
                          bool fuel) {
    TSearchParams params;
    params.SetAll(TSearchList::Ports, false);
    params.SetAll(TSearchList::BaudRates, false);
    for (std::size_t p : ports) params.SetChecked(TSearchList::Ports, p - 1, true);
    for (std::size_t s : speeds) params.SetChecked(TSearchList::BaudRates, s - 1, true);
    params.SetChecked(TSearchList::ECRTypes, 0, ordinary);
    params.SetChecked(TSearchList::ECRTypes, 1, fuel);
    return params;
}

struct ScriptedAnswer {
    std::uint32_t afterMs;  // after the search request, or after the answer before it
    std::uint8_t address;
};

// A driver whose ports `openable` exist; the devices on them answer the search request as scripted.
class SearchDriver : public FakeDriverBase {
  public:
    std::set<LONG> openable;
    // Ports whose search request fails although the port opened.
    std::set<LONG> searchFails;
    // Answers by (port, speed code, fuel).
    std::map<std::tuple<LONG, LONG, bool>, std::vector<ScriptedAnswer>> answers;
    // Addresses that answer GetDeviceMetrics with an error, and answers that cannot be read.
    std::set<std::uint8_t> metricsFail;
    std::set<std::uint8_t> unreadable;
    // Setters that leave a refusal in ResultCode.
    std::set<std::string> refused;
    // Called on the search thread right after each SearchDevice.
    std::function<void()> afterSearch;
    // The answers' events wait until RaiseHeld, as they do while the thread that raises them is busy.
    bool holdEvents = false;
    void RaiseHeld() {
        std::vector<std::int32_t> held;
        {
            std::lock_guard lock(mutex_);
            held.swap(held_);
        }
        for (const std::int32_t id : held) FireCommand(id);
    }

    ~SearchDriver() override {
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
        }
        wake_.notify_all();
        for (auto& t : firing_) t.join();
    }

    std::vector<std::string> Calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

  protected:
    HRESULT Method(std::string_view name, LONG* value) override {
        std::lock_guard lock(mutex_);
        calls_.emplace_back(name);
        if (name == "SearchDevice") {
            if (!open_ || searchFails.count(port_) != 0) {
                SetResult(-3, "Порт недоступен");
            } else {
                SetResult(0, "Ошибок нет");
                auto script = answers.find({port_, baud_, fuel_});
                if (script != answers.end()) Schedule(port_, baud_, fuel_, script->second);
            }
        } else if (name == "GetCommandParams") {
            auto received = received_.find(commandID_);
            if (received == received_.end() || unreadable.count(received->second.address) != 0) {
                SetResult(-16, "Команда не найдена");
            } else {
                port_ = received->second.port;
                baud_ = received->second.baud;
                fuel_ = received->second.fuel;
                srcAddress_ = received->second.address;
                SetResult(0, "Ошибок нет");
            }
        } else if (name == "AddLD") {
            // A driver whose list of logical devices is full.
            SetResult(-7, "Невозможно добавить устройство");
        } else if (name == "GetDeviceMetrics") {
            if (metricsFail.count(dstAddress_) != 0) {
                SetResult(-1, "Нет связи");
            } else {
                description_ = "ККМ " + std::to_string(dstAddress_);
                SetResult(0, "Ошибок нет");
            }
        }
        *value = resultCode_;
        if (name == "SearchDevice" && afterSearch) afterSearch();
        return S_OK;
    }

    HRESULT Put(std::string_view name, LONG value) override {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::string(name) + "=" + std::to_string(value));
        if (name == "PortNumber") port_ = value;
        if (name == "BaudRate") baud_ = value;
        if (name == "CommandID") commandID_ = value;
        if (name == "DstAddress") dstAddress_ = static_cast<std::uint8_t>(value);
        if (refused.count(std::string(name)) != 0) SetResult(-12, "Неверное значение параметра");
        return S_OK;
    }
    HRESULT Put(std::string_view name, VARIANT_BOOL value) override {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::string(name) + "=" + (value != 0 ? "true" : "false"));
        if (name == "Fuel") fuel_ = value != 0;
        if (name == "DeviceEnabled") {
            open_ = value != 0 && openable.count(port_) != 0;
            SetResult(value != 0 && !open_ ? -3 : 0, value != 0 && !open_ ? "Порт недоступен" : "Ошибок нет");
        }
        return S_OK;
    }
    HRESULT Get(std::string_view name, LONG* value) override {
        std::lock_guard lock(mutex_);
        *value = name == "ResultCode"          ? resultCode_
                 : name == "PortNumber"        ? port_
                 : name == "BaudRate"          ? baud_
                 : name == "CommandSrcAddress" ? srcAddress_
                                               : 0;
        return S_OK;
    }
    HRESULT Get(std::string_view name, VARIANT_BOOL* value) override {
        std::lock_guard lock(mutex_);
        *value = name == "Fuel" && fuel_ ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT Get(std::string_view name, BSTR* value) override {
        std::lock_guard lock(mutex_);
        const std::string text = name == "ResultDescription" ? resultDescription_
                                 : name == "UDescription"    ? description_
                                                             : "";
        *value = tessel::Utf8ToBstr(text).release();
        return S_OK;
    }

  private:
    struct Received {
        LONG port;
        LONG baud;
        bool fuel;
        std::uint8_t address;
    };

    void SetResult(LONG code, const std::string& text) {
        resultCode_ = code;
        resultDescription_ = text;
    }

    // The devices answer on a thread of their own, at the scripted moments, until the driver goes.
    void Schedule(LONG port, LONG baud, bool fuel, std::vector<ScriptedAnswer> script) {
        firing_.emplace_back([this, port, baud, fuel, script] {
            auto at = Clock::now();
            for (const ScriptedAnswer& answer : script) {
                at += std::chrono::milliseconds(answer.afterMs);
                std::int32_t id = 0;
                {
                    std::unique_lock lock(mutex_);
                    if (wake_.wait_until(lock, at, [this] { return closing_; })) return;
                    id = nextID_++;
                    received_[id] = {port, baud, fuel, answer.address};
                    if (holdEvents) {
                        held_.push_back(id);
                        continue;
                    }
                }
                FireCommand(id);
            }
        });
    }

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool closing_ = false;
    std::vector<std::thread> firing_;
    std::vector<std::string> calls_;
    std::vector<std::int32_t> held_;
    std::map<std::int32_t, Received> received_;
    std::int32_t nextID_ = 100;
    LONG port_ = 1;
    LONG baud_ = 3;
    bool fuel_ = false;
    bool open_ = false;
    LONG commandID_ = 0;
    LONG srcAddress_ = 0;
    std::uint8_t dstAddress_ = 0;
    LONG resultCode_ = 0;
    std::string resultDescription_ = "Ошибок нет";
    std::string description_;
};

}  // namespace searchtest
