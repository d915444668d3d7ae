#pragma once
// Progress of a long step on standard error. On a terminal the passing state is one line rewritten in place
// ("\r"), cut to the terminal's width; otherwise, or when asked to be plain, only the lasting lines are
// written, so a log or a pipe gets a few readable lines instead of a stream of carriage returns.

#include <cstddef>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>

namespace tessel::cli {

class ProgressLine {
  public:
    // `updating`: rewrite one line in place, `width` characters at most (the terminal's columns).
    ProgressLine(std::ostream& out, bool updating, std::size_t width);
    // Ends a passing line so that what follows starts on a clean line.
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Whether standard error is a terminal, and its width (80 when it cannot be asked).
    static bool StderrIsTerminal();
    static std::size_t StderrWidth();

    // Any thread. The passing state: shown in place when updating, dropped otherwise.
    void Update(std::string_view text);
    // Any thread. A line that stays; a passing line is taken away first and shown again after it.
    void Line(std::string_view text);
    // Any thread. Takes the passing line away.
    void Clear();

    bool Updating() const { return updating_; }

  private:
    void Draw();
    void Erase();

    std::ostream& out_;
    const bool updating_;
    const std::size_t width_;
    std::mutex mutex_;
    std::string shown_;  // the passing line on screen, already cut
};

// `text` cut to at most `width` UTF-8 characters.
std::string CutToWidth(std::string_view text, std::size_t width);

}  // namespace tessel::cli
