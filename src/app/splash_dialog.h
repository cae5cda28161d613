// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CSplashDialog: the window with the "IDR_SPLASH" picture and the version text, without a title
// bar, thinly framed, exactly the picture's size. At start-up it is the splash window with its
// buttons hidden; from the Help menu it is the About box, where "OK" and Escape close it and
// "Help" opens the guide at the About section and leaves it open.

#include "app/bitmap_dialog.h"

class QPushButton;

class CSplashDialog final : public CBitmapDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSplashDialog)

public:
    // Centred over `parent`'s window, or over the screen when that is hidden or minimised.
    explicit CSplashDialog(QWidget* parent);

    void HideButtons();

signals:
    // A left or right mouse button went down on the window.
    void Pressed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void CentreOverOwner();

    QPushButton* ok = nullptr;
    QPushButton* help = nullptr;
};

// The About box: a CSplashDialog run modally over `parent` until it is closed.
void ShowAboutBox(QWidget* parent);
