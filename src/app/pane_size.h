// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CPaneSize: the size of a splitter's first pane (the upper row, the tree column). Until the window
// has its place the pane has exactly the size it was given, so a stored size comes back as it was;
// from then on it keeps its share of the splitter, so a maximised window keeps the proportions and
// a restored one gets its size back. A drag of the splitter's bar sets the share anew.

#include <QObject>

class QSplitter;

class CPaneSize final : public QObject {
public:
    // `leastFirstShare`: the least share of the splitter the pane gets at the first layout.
    CPaneSize(QSplitter& splitter, int size, double leastFirstShare);

    // The window has its place and size: from now on the pane keeps its share.
    void Settle();
    // The pane's size now, as the user dragged it or the program chose it.
    void Choose(int size);
    int Size() const;
    // The splitter's length along its orientation.
    int Length() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Apply();

    QSplitter& splitter;
    int chosen;
    double leastFirstShare;
    bool laidOut = false;
    // The splitter's length when the size was chosen; 0 before the window has its place.
    int chosenAtLength = 0;
};
