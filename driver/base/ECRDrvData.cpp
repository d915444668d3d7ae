#include "driver/base/ECRDrvData.h"

#include "driver/base/untDateTime.h"
#include "driver/base/untError.h"

namespace {

// The register keeps the year as two digits of the 2000s.
TDateTime DateOfBytes(std::uint8_t day, std::uint8_t month, std::uint8_t year) {
    TDateTime date = 0.0;
    return TryEncodeDate(2000 + year, month, day, date) ? date : 0.0;
}

void BytesOfDate(TDateTime value, std::uint8_t& day, std::uint8_t& month, std::uint8_t& year) {
    int y = 0, m = 0, d = 0;
    DecodeDate(value, y, m, d);  // all parts 0 when the value cannot be split
    day = static_cast<std::uint8_t>(d);
    month = static_cast<std::uint8_t>(m);
    year = static_cast<std::uint8_t>(y % 100);
}

void BytesOfDateText(const std::string& text, std::uint8_t& day, std::uint8_t& month, std::uint8_t& year) {
    TDateTime date = 0.0;
    if (!TryStrToDate(text, date)) {
        day = month = year = 0;
        throw EDriverError(E_INVALIDVALUE);
    }
    BytesOfDate(date, day, month, year);
}

}  // namespace

void TECRDrvData::SetDefaults() {
    // The member initialisers hold the defaults; only this record's part of a derived object is reset.
    *this = TECRDrvData();
}

TDateTime TECRDrvData::GetECRDate() const {
    return DateOfBytes(ECRDay, ECRMonth, ECRYear);
}

void TECRDrvData::SetECRDate(TDateTime value) {
    BytesOfDate(value, ECRDay, ECRMonth, ECRYear);
}

std::string TECRDrvData::GetECRDateStr() const {
    return DateToStr(GetECRDate());
}

void TECRDrvData::SetECRDateStr(const std::string& text) {
    BytesOfDateText(text, ECRDay, ECRMonth, ECRYear);
}

TDateTime TECRDrvData::GetECRTime() const {
    TDateTime time = 0.0;
    return TryEncodeTime(ECRHour, ECRMin, ECRSec, time) ? time : 0.0;
}

void TECRDrvData::SetECRTime(TDateTime value) {
    int h = 0, n = 0, s = 0;
    DecodeTime(value, h, n, s);  // all parts 0 when the value cannot be split
    ECRHour = static_cast<std::uint8_t>(h);
    ECRMin = static_cast<std::uint8_t>(n);
    ECRSec = static_cast<std::uint8_t>(s);
}

std::string TECRDrvData::GetECRTimeStr() const {
    return TimeToStr(GetECRTime());
}

void TECRDrvData::SetECRTimeStr(const std::string& text) {
    TDateTime time = 0.0;
    if (!TryStrToTime(text, time)) {
        ECRHour = ECRMin = ECRSec = 0;
        throw EDriverError(E_INVALIDVALUE);
    }
    SetECRTime(time);
}

TDateTime TECRDrvData::GetECRSoftDate() const {
    return DateOfBytes(ECRSoftDay, ECRSoftMonth, ECRSoftYear);
}

void TECRDrvData::SetECRSoftDate(TDateTime value) {
    BytesOfDate(value, ECRSoftDay, ECRSoftMonth, ECRSoftYear);
}

std::string TECRDrvData::GetECRSoftDateStr() const {
    return DateToStr(GetECRSoftDate());
}

void TECRDrvData::SetECRSoftDateStr(const std::string& text) {
    BytesOfDateText(text, ECRSoftDay, ECRSoftMonth, ECRSoftYear);
}
