#pragma once
// Driving the modal windows that a call opens and waits on, as a person would: each step of a script runs
// on the next modal window that opens, while the call that opened it is still waiting. A step clicks, types
// and reads; it may open further modal windows (a message box, a nested dialog), which the next steps take.
// A window that closes and opens again is a new opening. Windows the script is told to skip (a progress
// window that closes by itself) take no step. For test programs on the offscreen platform; everything runs
// on the GUI thread.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessel_test {

class ModalScript {
  public:
    using Step = std::function<void(QWidget& window)>;

    // Starts watching; a script whose windows do not all come within `limitMs` fails and closes every modal
    // window, so that the waiting call returns.
    explicit ModalScript(int limitMs = 20000) : guard_(std::make_unique<QObject>()) {
        clock_.start();
        limitMs_ = limitMs;
        Schedule();
    }
    // A step still waiting for its window fails the test.
    ~ModalScript() {
        if (!steps_.empty()) ADD_FAILURE() << steps_.size() << " step(s) found no modal window";
    }
    ModalScript(const ModalScript&) = delete;
    ModalScript& operator=(const ModalScript&) = delete;

    // Adds a step for the next modal window.
    ModalScript& Then(Step step) {
        steps_.push_back(std::move(step));
        return *this;
    }
    bool Done() const { return steps_.empty(); }
    // Windows for which `skip` is true take no step.
    ModalScript& Skip(std::function<bool(const QWidget& window)> skip) {
        skip_ = std::move(skip);
        return *this;
    }

  private:
    // Each look is a timer of its own: a timer is not fired again while its own handler runs, and a step's
    // handler waits in the nested loop of the window it opened.
    void Schedule() {
        QTimer::singleShot(10, guard_.get(), [this] { Look(); });
    }

    void Look() {
        Schedule();
        if (clock_.elapsed() > limitMs_) {
            if (!steps_.empty()) {
                ADD_FAILURE() << "no modal window came for a step within " << limitMs_ << " ms";
                steps_.clear();
            }
            if (QWidget* open = QApplication::activeModalWidget()) open->close();
            return;
        }
        // A window that closed is a new opening when it shows again.
        std::erase_if(handled_, [](const QPointer<QWidget>& w) { return w == nullptr || !w->isVisible(); });
        QWidget* top = QApplication::activeModalWidget();
        if (top == nullptr || steps_.empty() || !top->isVisible() || Handled(top)) return;
        if (skip_ && skip_(*top)) return;
        handled_.emplace_back(top);
        Step step = std::move(steps_.front());
        steps_.pop_front();
        step(*top);
    }

    bool Handled(QWidget* window) const {
        for (const auto& w : handled_)
            if (w == window) return true;
        return false;
    }

    std::unique_ptr<QObject> guard_;  // pending looks end with it
    QElapsedTimer clock_;
    int limitMs_ = 0;
    std::deque<Step> steps_;
    std::vector<QPointer<QWidget>> handled_;
    std::function<bool(const QWidget&)> skip_;
};

// The child of `window` named `name`, of type T; throws std::runtime_error naming it when there is none.
template <typename T = QWidget>
T& Child(const QWidget& window, const char* name) {
    T* child = window.findChild<T*>(name);
    if (child == nullptr) throw std::runtime_error(std::string("no child ") + name);
    return *child;
}

// Clicks the button named `name` with the mouse: at its centre, or on the box of a check box, which takes
// clicks only on its box and text.
inline void Click(const QWidget& window, const char* name) {
    auto& button = Child<QAbstractButton>(window, name);
    const bool box = qobject_cast<QCheckBox*>(&button) != nullptr;
    QTest::mouseClick(&button, Qt::LeftButton, {},
                      box ? QPoint(button.height() / 2, button.height() / 2) : QPoint());
}

// Types `text` into `widget` key by key, as a keyboard with any layout would (QTest::keyClicks knows Latin-1
// only).
inline void TypeText(QWidget& widget, const QString& text) {
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, &widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// The message box's text, and closes it with its default button.
inline QString TakeMessage(QWidget& window) {
    auto* box = qobject_cast<QMessageBox*>(&window);
    if (box == nullptr) {
        ADD_FAILURE() << "the modal window is no message box: " << window.windowTitle().toStdString();
        window.close();
        return {};
    }
    const QString text = box->text();
    box->accept();
    return text;
}

// The two versions a test program's about box shows, opened with the button `button` of `window` and closed
// with its OK (common/qt/ProgramWindows.h).
struct AboutTexts {
    QString test;
    QString driver;
};
inline AboutTexts ReadAboutBox(QWidget& window, const char* button) {
    AboutTexts texts;
    ModalScript script;
    script.Then([&](QWidget& box) {
        texts.test = Child<QLabel>(box, "lblTestVersion").text();
        texts.driver = Child<QLabel>(box, "lblDriverVersion").text();
        Click(box, "btnOK");
    });
    Click(window, button);
    return texts;
}

// Waits at most `ms` for `done` while the thread's events, the driver's among them, go on.
template <typename Done>
bool WaitFor(Done&& done, int ms = 5000) {
    return QTest::qWaitFor(std::forward<Done>(done), ms);
}

}  // namespace tessel_test
