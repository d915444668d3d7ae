#pragma once
// Progress of a long step on standard error. On a terminal the passing state is one line rewritten in place
// ("\r"), cut to the terminal's width; otherwise only the lasting progress lines are written, so a log or a
// pipe gets a few readable lines instead of a stream of carriage returns; with --quiet no progress at all.
// Warnings are written in every mode.

#include <cstddef>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>

namespace tessel::cli {

enum class TProgressMode {
    InPlace,  // one line rewritten in place (a terminal)
    Lines,    // the lasting progress lines (a log, a pipe)
    Silent,   // no progress (--quiet)
};

class ProgressLine {
  public:
    // `width`: characters at most of a line rewritten in place (the terminal's columns).
    ProgressLine(std::ostream& out, TProgressMode mode, std::size_t width);
    // The mode for standard error: Silent when `quiet`, else InPlace on a terminal, else Lines.
    static TProgressMode ModeFor(bool terminal, bool quiet);
    // Ends a passing line so that what follows starts on a clean line.
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Whether standard error is a terminal that takes the line's control sequences, and its width
    // (kDefaultTerminalWidth when it cannot be asked). Platform backend: on Windows a console, switched to
    // its virtual terminal mode.
    static bool StderrIsTerminal();
    static std::size_t StderrWidth();
    static constexpr std::size_t kDefaultTerminalWidth = 80;

    // Any thread. The passing state: shown in place when updating, dropped otherwise.
    void Update(std::string_view text);
    // Any thread. A progress line that stays, written only in Lines mode (in place, Update shows it).
    void Progress(std::string_view text);
    // Any thread. A warning, in every mode; a passing line is taken away first and shown again after it.
    void Line(std::string_view text);
    // Any thread. Takes the passing line away.
    void Clear();

    bool Updating() const { return mode_ == TProgressMode::InPlace; }

  private:
    void Draw();
    void Erase();
    void WriteLine(std::string_view text);

    std::ostream& out_;
    const TProgressMode mode_;
    const bool updating_;
    const std::size_t width_;
    std::mutex mutex_;
    std::string shown_;  // the passing line on screen, already cut
};

// `text` cut to at most `width` UTF-8 characters.
std::string CutToWidth(std::string_view text, std::size_t width);

}  // namespace tessel::cli
