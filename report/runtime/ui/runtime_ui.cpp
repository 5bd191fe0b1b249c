// "RuntimeUi.so": the message boxes and progress windows of Runtime.lib in a Qt host. Loaded by
// Runtime.lib only into processes that already run the Qt widgets library (runtime_ui.h), and
// called only on the application's thread, which `available` checks on every call.
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <map>

#include "progress_window.h"
#include "runtime_ui.h"
#include "text/cp1251.h"

namespace {

using zentra::popups::ProgressWindow;

std::atomic<bool> forced{false};

// Open progress windows by Runtime.lib's handle. QPointer: a host that destroys its windows
// (closing the build window deletes its children) leaves no dangling entry behind.
std::map<int32_t, QPointer<ProgressWindow>>& windows() {
    static std::map<int32_t, QPointer<ProgressWindow>> w;
    return w;
}

// A cp1251 text of Runtime.lib as a widget text; null reads as empty.
QString fromCp1251(const char* text) {
    return text ? QString::fromStdU16String(zentra::text::cp1251ToUtf16(text)) : QString();
}

// The window a new one belongs to: the host's active window (the build window while a report is
// built), so that it stays in front of it. Never one of our progress windows: closing that one
// would take the new window with it.
QWidget* hostWindow() {
    QWidget* w = QApplication::activeWindow();
    auto ours = [](QWidget* candidate) {
        for (const auto& [handle, window] : windows())
            if (window == candidate) return true;
        return false;
    };
    while (w && ours(w))
        w = w->parentWidget();
    return w;
}

// KrUiApiV1::available: an application, its thread, and a display (or the test switch).
int32_t uiAvailable() {
    try {
        auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
        if (!app || QThread::currentThread() != app->thread()) return 0;
        if (forced) return 1;
        const QString platform = QGuiApplication::platformName();
        return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
    } catch (...) {
        return 0;
    }
}

// KrUiApiV1::show_message: a modal box with an OK button.
int32_t uiShowMessage(const char* text, const char* title) {
    try {
        QMessageBox box(QMessageBox::NoIcon, fromCp1251(title), fromCp1251(text), QMessageBox::Ok,
                        hostWindow());
        box.exec();
        return 0;
    } catch (...) {
        return -1;
    }
}

// Not modal, unlike the grid's use of the same window: the build window's "Отмена" must stay
// reachable while a script shows its own progress.
int32_t uiStartVisual(int32_t handle, const char* message) {
    try {
        auto* w = new ProgressWindow(fromCp1251(message), hostWindow());
        w->setWindowModality(Qt::NonModal);
        windows()[handle] = w;
        w->show();
        // Let it paint before the script goes on working without pumping messages.
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return 0;
    } catch (...) {
        return -1;
    }
}

// Hides and frees one progress window, if it still exists.
void closeWindow(QPointer<ProgressWindow>& w) {
    if (w) {
        w->hide();
        delete w.data();
    }
}

// Windows belong to the application's thread. A run that ends on another thread (a script run
// by a worker) has its windows closed by the application's event loop instead.
template <typename F>
void onAppThread(F f) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    if (QThread::currentThread() == app->thread()) {
        f();
    } else {
        QMetaObject::invokeMethod(app, f, Qt::QueuedConnection);
    }
}

// KrUiApiV1::stop_visual.
void uiStopVisual(int32_t handle) {
    try {
        onAppThread([handle] {
            auto& all = windows();
            auto it = all.find(handle);
            if (it == all.end()) return;
            closeWindow(it->second);
            all.erase(it);
        });
    } catch (...) {
    }
}

// KrUiApiV1::close_all.
void uiCloseAll() {
    try {
        onAppThread([] {
            for (auto& [handle, w] : windows())
                closeWindow(w);
            windows().clear();
        });
    } catch (...) {
    }
}

// KrUiApiV1::force_windows (tests only).
void uiForceWindows(int32_t on) {
    forced = on != 0;
}

const KrUiApiV1 kApiV1 = {
    KR_UI_API_VERSION, sizeof(KrUiApiV1), uiAvailable, uiShowMessage,
    uiStartVisual,     uiStopVisual,      uiCloseAll,  uiForceWindows,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const void* KrUi_GetApi(int32_t version) {
    return version == KR_UI_API_VERSION ? &kApiV1 : nullptr;
}
