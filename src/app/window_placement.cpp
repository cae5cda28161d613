// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window_placement.h"

#include "settings/settings.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <cmath>
#include <functional>
#include <utility>

namespace {

// A window manager frames a new window within moments; a frame that comes later than this is left
// alone, so that a size the user has chosen meanwhile is never changed.
constexpr int kFrameWaitMilliseconds = 5000;

QRect FirstStartRectangle()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 530, 530);
    const double side = std::sqrt(0.6);
    QRect outer(0, 0, static_cast<int>(available.width() * side), static_cast<int>(available.height() * side));
    outer.moveCenter(available.center());
    return outer;
}

// Shrinks the window's inside by its frame once, when the frame first shows up.
class FrameFitter final : public QObject {
public:
    FrameFitter(QWidget& window, const QRect& outer, std::function<void()> placed)
        : QObject(&window)
        , window(window)
        , outer(outer)
        , placed(std::move(placed))
    {
        window.installEventFilter(this);
        QTimer::singleShot(kFrameWaitMilliseconds, this, [this] {
            this->placed();
            deleteLater();
        });
        Fit(false);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::WindowStateChange: Fit(true); break;
        default: break;
        }
        return false;
    }

private:
    // `later`: not from inside one of the window's own events, while the window manager's move is
    // still under way.
    void Fit(bool later)
    {
        if (done)
            return;
        const QSize frame = window.frameGeometry().size() - window.geometry().size();
        if (frame.width() <= 0 && frame.height() <= 0)
            return;
        done = true;
        window.removeEventFilter(this);
        const auto fit = [window = QPointer<QWidget>(&window), outer = outer, frame, placed = placed] {
            if (!window)
                return;
            if (!window->isMaximized() && !window->isFullScreen()) {
                window->resize(outer.size() - frame);
                window->move(outer.topLeft());
            }
            placed();
        };
        if (later)
            QTimer::singleShot(0, &window, fit);
        else
            fit();
        deleteLater();
    }

    QWidget& window;
    const QRect outer;
    const std::function<void()> placed;
    bool done = false;
};

}  // namespace

void PlaceAndShowMainWindow(QWidget& window, const CSettings& settings, std::function<void()> placed)
{
    const QRect outer = settings.windowRectangleStored
        ? QRect(settings.left, settings.top, settings.right - settings.left, settings.bottom - settings.top)
        : FirstStartRectangle();
    window.move(outer.topLeft());
    window.resize(outer.size());
    window.show();
    new FrameFitter(window, outer, std::move(placed));
}
