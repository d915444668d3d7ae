#include "tools/tessel/StatsCommand.h"

#include <cstdio>
#include <ctime>

#include "common/platform/Registry.h"
#include "driver/engine/untDriverPath.h"
#include "tools/tessel/DoctorSystem.h"

namespace tessel::cli {
namespace {

struct CounterName {
    TLineCounter counter;
    const char* json;
};

// JSON names of the counters, in the file's order (LastEvent and the exchange sums are printed apart).
constexpr CounterName kCounters[] = {
    {TLineCounter::RequestsSent, "requests_sent"},
    {TLineCounter::AnswersReceived, "answers_received"},
    {TLineCounter::RequestsReceived, "requests_received"},
    {TLineCounter::AnswersSent, "answers_sent"},
    {TLineCounter::BytesSent, "bytes_sent"},
    {TLineCounter::BytesReceived, "bytes_received"},
    {TLineCounter::ChecksumFailures, "checksum_failures"},
    {TLineCounter::Repeats, "repeats"},
    {TLineCounter::Timeouts, "timeouts"},
    {TLineCounter::DroppedAnswers, "dropped_answers"},
    {TLineCounter::RefusedByRegister, "refused_by_register"},
    {TLineCounter::RefusedByUs, "refused_by_us"},
    {TLineCounter::PortsLost, "ports_lost"},
    {TLineCounter::Exchanges, "exchanges"},
};

std::string LocalTime(std::uint64_t seconds) {
    if (seconds == 0) return "-";
    const auto t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%d.%m.%Y %H:%M:%S", &tm);
    return buf;
}

std::string Ms(std::optional<double> ms) {
    if (!ms) return "-";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f ms", *ms);
    return buf;
}

std::string JsonNumber(std::optional<double> v) {
    if (!v) return "null";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", *v);
    return buf;
}

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (const char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Share(std::uint64_t part, std::uint64_t whole) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f %%", whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / whole);
    return buf;
}

int Usage(std::ostream& err, const std::string& what) {
    err << "tessel stats: " << what << " (see tessel stats --help)\n";
    return 2;
}

constexpr const char* kHelp = R"(Usage: tessel stats [--json] [--reset]

The line statistics that the driver keeps per port and register address in its state folder (beside its
sequence counters), updated by every program that uses the driver as it works and kept across restarts:
requests and answers sent and received, bytes, checksum failures, repeats (tries of a request after its
first), time-outs, duplicate and late answers dropped, requests refused as out of sequence by the register
and by the driver, ports lost, and the time of an answered exchange (median and 99th percentile).

  --json    one JSON object, for monitoring
  --reset   zero the statistics (the time of the reset is kept)
)";

}  // namespace

std::string DefaultStatsFile() {
    const std::string dir = DriverFilesDirectory();
    return TLineStats::FileIn(dir.empty() ? tessel::RegistryDirectory() : dir);
}

std::vector<std::string> StatsWarnings(const TLineRecord& r) {
    std::vector<std::string> out;
    const std::uint64_t received = r[TLineCounter::AnswersReceived] + r[TLineCounter::RequestsReceived];
    const std::uint64_t tries = r[TLineCounter::RequestsSent];
    // A few faults a day are normal on a real line; a share this high is a cable, a speed or a noise source.
    if (r[TLineCounter::ChecksumFailures] * 100 > received && r[TLineCounter::ChecksumFailures] > 2) {
        out.push_back(Share(r[TLineCounter::ChecksumFailures], received) +
                      " of the frames failed their checksum: a noisy line (check the cable, its length "
                      "and shielding, and that no other device shares the port)");
    }
    if (r[TLineCounter::Timeouts] * 20 > tries && r[TLineCounter::Timeouts] > 2) {
        out.push_back(Share(r[TLineCounter::Timeouts], tries) +
                      " of the requests got no answer in time: check the cable and the speed, or raise "
                      "Timeout if the register is slow to answer");
    }
    if (r[TLineCounter::RefusedByRegister] + r[TLineCounter::RefusedByUs] > 2) {
        out.push_back(std::to_string(r[TLineCounter::RefusedByRegister] + r[TLineCounter::RefusedByUs]) +
                      " requests were refused as out of sequence: two programs with separate counters "
                      "talk to one register, or its counters were reset");
    }
    if (r[TLineCounter::PortsLost] > 0) {
        out.push_back("the port went away " + std::to_string(r[TLineCounter::PortsLost]) +
                      " time(s): a loose USB adapter or cable");
    }
    return out;
}

void PrintStats(const TLineStatsSnapshot& s, const std::string& file, std::ostream& out) {
    out << "Line statistics in " << file << ", since " << LocalTime(s.ResetTime) << '\n';
    if (s.Records.empty()) out << "No exchange counted yet.\n";
    for (const TLineRecord& r : s.Records) {
        auto n = [&r](TLineCounter c) { return std::to_string(r[c]); };
        out << "\nCOM" << r.Port << " address " << int{r.Address} << " (last at "
            << LocalTime(r[TLineCounter::LastEvent]) << ")\n"
            << "  requests sent " << n(TLineCounter::RequestsSent) << ", answers received "
            << n(TLineCounter::AnswersReceived) << "; register's requests "
            << n(TLineCounter::RequestsReceived) << ", answers sent " << n(TLineCounter::AnswersSent) << '\n'
            << "  bytes sent " << n(TLineCounter::BytesSent) << ", received "
            << n(TLineCounter::BytesReceived) << '\n'
            << "  checksum failures " << n(TLineCounter::ChecksumFailures) << ", repeats "
            << n(TLineCounter::Repeats) << ", time-outs " << n(TLineCounter::Timeouts)
            << ", answers dropped (duplicate or late) " << n(TLineCounter::DroppedAnswers) << '\n'
            << "  refused as out of sequence: by the register " << n(TLineCounter::RefusedByRegister)
            << ", by the driver " << n(TLineCounter::RefusedByUs) << "; ports lost "
            << n(TLineCounter::PortsLost) << '\n'
            << "  exchange time: median " << Ms(r.PercentileMs(0.5)) << ", 99th percentile "
            << Ms(r.PercentileMs(0.99)) << " (" << n(TLineCounter::Exchanges) << " exchanges answered)\n";
        for (const std::string& w : StatsWarnings(r)) out << "  warning: " << w << '\n';
    }
    if (s.Unrecorded != 0)
        out << "\n" << s.Unrecorded << " updates were not counted: every record of the file is taken\n";
    for (const std::string& d : s.Damaged) out << "\nunreadable: " << d << '\n';
}

void PrintStatsJson(const TLineStatsSnapshot& s, const std::string& file, std::ostream& out) {
    out << "{\"file\": " << JsonString(file) << ", \"reset_time\": " << s.ResetTime
        << ", \"unrecorded\": " << s.Unrecorded << ", \"damaged\": " << s.Damaged.size() << ", \"peers\": [";
    for (std::size_t i = 0; i < s.Records.size(); ++i) {
        const TLineRecord& r = s.Records[i];
        out << (i == 0 ? "" : ", ") << "{\"port\": " << r.Port << ", \"address\": " << int{r.Address};
        for (const CounterName& c : kCounters) out << ", \"" << c.json << "\": " << r[c.counter];
        out << ", \"last_event\": " << r[TLineCounter::LastEvent]
            << ", \"exchange_ms_median\": " << JsonNumber(r.PercentileMs(0.5))
            << ", \"exchange_ms_p99\": " << JsonNumber(r.PercentileMs(0.99)) << ", \"histogram\": [";
        bool first = true;
        for (std::size_t b = 0; b < TLineRecord::kBuckets; ++b) {
            if (r.Histogram[b] == 0) continue;
            out << (first ? "" : ", ") << "{\"below_ms\": ";
            if (b + 1 < TLineRecord::kBuckets)
                out << TLineStats::BucketUpperMs(b);
            else
                out << "null";
            out << ", \"count\": " << r.Histogram[b] << '}';
            first = false;
        }
        out << "]}";
    }
    out << "]}\n";
}

int RunStats(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             const std::string& file) {
    bool json = false;
    bool reset = false;
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            out << kHelp;
            return 0;
        }
        if (a == "--json") {
            json = true;
        } else if (a == "--reset") {
            reset = true;
        } else {
            return Usage(err, "unknown word " + a);
        }
    }
    try {
        if (reset) {
            TLineStats::Reset(file);
            if (!json) {
                out << "Line statistics reset in " << file << '\n';
                return 0;
            }
        }
        // No exchange yet for this user: nothing to show, which is no failure.
        const TLineStatsSnapshot stats = FileSize(file) ? TLineStats::Read(file) : TLineStatsSnapshot{};
        if (json)
            PrintStatsJson(stats, file, out);
        else
            PrintStats(stats, file, out);
        return 0;
    } catch (const std::exception& e) {
        err << "tessel stats: " << e.what() << '\n';
        return 1;
    }
}

}  // namespace tessel::cli
