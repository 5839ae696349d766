#pragma once

// What the window tests share: acting on the next modal window from inside
// its own event loop, finding a window's objects by name, and the program's
// main window opened anew for each test in a temporary home of its own.
#include "app/forms/MainWindow.h"
#include "platform/os/Shell.h"
#include "tests/support/TempHome.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>
#include <type_traits>
#include <vector>

namespace windowtest {

// What a modal window showed: its title and object name, and for a message
// box its text and whether Yes was the default button.
struct Seen {
    QString title;
    QString text;
    QString name;
    bool yesIsDefault = false;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Watchers still waiting for a dialog; one left at the end of a test means
// a dialog that was expected never came.
inline std::vector<QTimer*> gWaiting;

inline constexpr const char* kNeverCame = "an expected dialog never came";

// Acts on the next modal window as soon as it is up (inside its own event
// loop) and remembers what it showed.
inline void OnNextModal(std::function<void(QWidget*)> act, Seen* seen = nullptr) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    gWaiting.push_back(timer);
    QObject::connect(timer, &QTimer::timeout, [timer, act, seen] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w)
            return;
        timer->stop();
        std::erase(gWaiting, timer);
        timer->deleteLater();
        if (seen) {
            seen->title = w->windowTitle();
            seen->name = w->objectName();
            if (auto* box = qobject_cast<QMessageBox*>(w)) {
                seen->text = box->text();
                seen->icon = box->icon();
                seen->yesIsDefault =
                    box->defaultButton() && box->defaultButton() == box->button(QMessageBox::Yes);
            }
        }
        act(w);
    });
    timer->start();
}

// As above, keeping only a message box's text.
inline void OnNextModal(std::function<void(QWidget*)> act, QString* text) {
    OnNextModal([act, text](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w))
            *text = box->text();
        act(w);
    });
}

inline void CloseNextModal(Seen* seen) {
    OnNextModal([](QWidget* w) { static_cast<QDialog*>(w)->reject(); }, seen);
}

// Closes the next `count` modal windows one after the other, answering No.
inline void CloseModals(int count, std::vector<Seen>* seen) {
    if (count == 0)
        return;
    seen->emplace_back();
    Seen* slot = &seen->back();
    OnNextModal(
        [count, seen](QWidget* w) {
            CloseModals(count - 1, seen);
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->button(QMessageBox::No))
                box->button(QMessageBox::No)->click();
            else
                static_cast<QDialog*>(w)->reject();
        },
        slot);
}

// Deletes the watchers still waiting and says whether there were any.
[[nodiscard]] inline bool StopWaiting() {
    const bool waiting = !gWaiting.empty();
    for (QTimer* t : gWaiting)
        delete t;
    gWaiting.clear();
    return waiting;
}

// The object of that name under `root`; widgets inside a dialog under it are
// left out, so that a dialog's Edit1 is never taken for the panels' Edit1.
// None, or two, end the run.
template <class T> T* Find(QObject* root, const char* name) {
    T* found = nullptr;
    for (T* o : root->findChildren<T*>(name)) {
        bool inDialog = false;
        if constexpr (std::is_base_of_v<QWidget, T>) {
            if (!qobject_cast<QDialog*>(o))
                for (QWidget* p = o->parentWidget(); p && p != root; p = p->parentWidget())
                    inDialog = inDialog || qobject_cast<QDialog*>(p) != nullptr;
        }
        if (!inDialog) {
            if (found)
                qFatal("two objects named %s", name);
            found = o;
        }
    }
    if (!found)
        qFatal("no object named %s", name);
    return found;
}

// A menu's captions in order, "-" for a separator.
inline QStringList Captions(QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions())
        out << (a->isSeparator() ? "-" : a->text());
    return out;
}

// The program's main window for one test: a fresh temporary home, a shell that
// records what it is handed, and the window with its dialogs, shown and active.
// A test class derives from QObject and from this; its init() calls makeHome()
// and, once its tables are written, openWindow(); its cleanup() calls
// closeWindow(), which fails the test when an expected dialog never came.
class WindowHarness {
  protected:
    std::unique_ptr<testsupport::TempHome> home;
    std::unique_ptr<app::forms::MainWindow> w;
    os::RecordingShell shell;

    void makeHome() {
        home = std::make_unique<testsupport::TempHome>();
        shell = {};
    }

    // A new window in place of the last; `prepare` sees it before it shows.
    void openWindow(const std::function<void(app::forms::MainWindow&)>& prepare = {}) {
        w = std::make_unique<app::forms::MainWindow>();
        w->createDialogs();
        w->setShell(&shell);
        if (prepare)
            prepare(*w);
        w->show();
        activate();
    }

    void activate() {
        QApplication::setActiveWindow(w.get());
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
    }

    void closeWindow() {
        const bool waiting = StopWaiting();
        w.reset();
        home.reset();
        QVERIFY2(!waiting, kNeverCame);
    }

    // The main window's object of that name, outside its dialogs.
    template <class T> T* Find(const char* name) { return windowtest::Find<T>(w.get(), name); }
};

} // namespace windowtest
