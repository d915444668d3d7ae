#include "tools/tessel/ProgressLine.h"

#include "tools/tessel/ValueText.h"

namespace tessel::cli {

namespace {

// Erases from the cursor to the end of the line.
constexpr std::string_view kEraseToEnd = "\x1b[K";

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

std::string CutToWidth(std::string_view text, std::size_t width) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsContinuationByte(text[i])) continue;
        if (characters == width) return std::string(text.substr(0, i));
        ++characters;
    }
    return std::string(text);
}

// The last column stays free: a line that fills it makes some terminals wrap before the "\r".
ProgressLine::ProgressLine(std::ostream& out, TProgressMode mode, std::size_t width)
    : out_(out), mode_(mode), updating_(mode == TProgressMode::InPlace), width_(width > 1 ? width - 1 : 1) {}

TProgressMode ProgressLine::ModeFor(bool terminal, bool quiet) {
    if (quiet) return TProgressMode::Silent;
    return terminal ? TProgressMode::InPlace : TProgressMode::Lines;
}

ProgressLine::~ProgressLine() {
    Clear();
}

void ProgressLine::Update(std::string_view text) {
    if (!updating_) return;
    std::lock_guard lock(mutex_);
    // Control characters would move the cursor off the line being rewritten.
    std::string cut = CutToWidth(EscapeControls(text), width_);
    if (cut == shown_) return;
    shown_ = std::move(cut);
    Draw();
}

void ProgressLine::Progress(std::string_view text) {
    if (mode_ == TProgressMode::Lines) WriteLine(text);
}

void ProgressLine::Line(std::string_view text) {
    WriteLine(text);
}

void ProgressLine::WriteLine(std::string_view text) {
    std::lock_guard lock(mutex_);
    Erase();
    out_ << text << '\n';
    Draw();
}

void ProgressLine::Clear() {
    std::lock_guard lock(mutex_);
    Erase();
    shown_.clear();
    Draw();
}

void ProgressLine::Draw() {
    if (!updating_ || shown_.empty()) {
        out_ << std::flush;
        return;
    }
    out_ << '\r' << shown_ << kEraseToEnd << std::flush;
}

void ProgressLine::Erase() {
    if (updating_ && !shown_.empty()) out_ << '\r' << kEraseToEnd;
}

}  // namespace tessel::cli
