#pragma once

#include <QFrame>

// The frame at the top of the launcher that shows the game's logo at its natural size.
class VxLogoFrame : public QFrame
{
public:
    explicit VxLogoFrame(QWidget *parent = nullptr);
    ~VxLogoFrame() override;

protected:
    void paintEvent(QPaintEvent *event) override;
};
