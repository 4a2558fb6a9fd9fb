#include "ui/moditem.h"

VxModItem::VxModItem(const VxModInfo &info, QListWidget *list)
    : QListWidgetItem(info.displayText(), list), path(info.path), author(info.author),
      desc(info.desc), version(info.version), priority(info.priority)
{
    setFlags(Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
    setCheckState(Qt::Unchecked);
}

VxModItem::~VxModItem() = default;
