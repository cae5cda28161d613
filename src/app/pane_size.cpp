// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pane_size.h"

#include <QEvent>
#include <QSplitter>

#include <algorithm>
#include <cmath>

CPaneSize::CPaneSize(QSplitter& splitter, int size, double leastFirstShare)
    : QObject(&splitter)
    , splitter(splitter)
    , chosen(size)
    , leastFirstShare(leastFirstShare)
{
    splitter.installEventFilter(this);
    connect(&splitter, &QSplitter::splitterMoved, this, [this] { Choose(Size()); });
}

void CPaneSize::Settle()
{
    Choose(Size());
}

void CPaneSize::Choose(int size)
{
    chosen = size;
    if (laidOut)
        chosenAtLength = Length();
    Apply();
}

int CPaneSize::Size() const
{
    return splitter.sizes().value(0);
}

int CPaneSize::Length() const
{
    return splitter.orientation() == Qt::Vertical ? splitter.height() : splitter.width();
}

bool CPaneSize::eventFilter(QObject*, QEvent* event)
{
    if (event->type() == QEvent::Resize) {
        if (!laidOut) {
            laidOut = true;
            chosen = std::max(chosen, static_cast<int>(std::lround(Length() * leastFirstShare)));
        }
        Apply();
    }
    return false;
}

void CPaneSize::Apply()
{
    const int length = Length();
    if (!laidOut || length <= 0)
        return;
    const double scale = chosenAtLength > 0 ? double(length) / chosenAtLength : 1.0;
    const int size = std::clamp(static_cast<int>(std::lround(chosen * scale)), 0, length);
    splitter.setSizes({size, length - size});
}
