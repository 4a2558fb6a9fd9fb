#pragma once

#include "demo/standin/gamestate.h"

#include <QColor>
#include <QWidget>

// The sky band across the top of the window, painted in the colours the World resource
// file gives, so a sky mod shows at a glance.
class VxSkyBanner : public QWidget
{
    Q_OBJECT
public:
    explicit VxSkyBanner(const VxStandinState &state, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_top;
    QColor m_horizon;
    int m_stars = 0;
    QString m_caption;
};

// The stand-in game's one window: what launcher.cfg asked for, the resource values and the
// data files, with what the mods changed in bold.
class VxStandinWindow : public QWidget
{
    Q_OBJECT
public:
    explicit VxStandinWindow(const VxStandinState &state, QWidget *parent = nullptr);
};
