#pragma once

#include "mods/modinfo.h"

#include <QListWidgetItem>

// One mod's row in the launcher's mod list. Ticks and order live only in the list: a new
// start shows every mod unticked, in folder-name order.
class VxModItem : public QListWidgetItem
{
public:
    explicit VxModItem(const VxModInfo &info, QListWidget *list = nullptr);
    ~VxModItem() override;

    QString path; // the mod folder, ending in '/'
    QString author;
    QString desc;
    QString version;
    // Part of the info.txt vocabulary that mod authors write; kept with the mod although the
    // launcher orders nothing by it.
    quint16 priority = 0;
};
