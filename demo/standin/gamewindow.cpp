#include "demo/standin/gamewindow.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSet>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// "@color r g b [a]" as a colour; invalid for anything else.
QColor colorOf(const QString &valueText)
{
    const QStringList pieces = valueText.split(u' ', Qt::SkipEmptyParts);
    if (pieces.size() < 4 || pieces.first() != "@color"_L1)
        return {};
    QColor color(pieces[1].toInt(), pieces[2].toInt(), pieces[3].toInt());
    if (pieces.size() > 4)
        color.setAlpha(pieces[4].toInt());
    return color.isValid() ? color : QColor();
}

QString valueOf(const VxStandinState &state, const QString &file, const QString &id,
                const QString &field)
{
    for (const VxStandinValue &v : state.values) {
        if (v.file == file && v.id == id && v.field == field)
            return v.value;
    }
    return {};
}

QIcon swatch(const QColor &color)
{
    QPixmap pixmap(14, 14);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    painter.setBrush(color);
    painter.drawRect(0, 0, 13, 13);
    return QIcon(pixmap);
}

// The values of the pristine copies the launcher keeps beside modded resource files; a row
// whose value differs from its pristine twin (or has none) is what a mod changed.
QSet<QString> pristineKeys(const VxStandinState &state)
{
    QSet<QString> keys;
    const QDir tweakDir(state.workingDirectory + u"/data/Tweak"_s);
    const QStringList backups = tweakDir.entryList({u"*.xml.backup"_s}, QDir::Files);
    for (const QString &backup : backups) {
        const QString fileName = backup.chopped(7);
        QList<VxStandinValue> values;
        readResourceValues(tweakDir.filePath(backup), fileName, values, nullptr);
        for (const VxStandinValue &v : values)
            keys.insert(v.file + u'\t' + v.id + u'\t' + v.field + u'\t' + v.value);
    }
    return keys;
}

void markChanged(QTreeWidgetItem *item)
{
    for (int column = 0; column < item->columnCount(); ++column) {
        QFont font = item->font(column);
        font.setBold(true);
        item->setFont(column, font);
    }
}

QTreeWidget *settingsTree(const VxStandinSettings &s)
{
    auto *tree = new QTreeWidget;
    tree->setHeaderLabels({u"Setting"_s, u"Value"_s});
    tree->setRootIsDecorated(false);
    auto add = [tree](const QString &name, const QString &value) {
        new QTreeWidgetItem(tree, {name, value});
    };
    add(u"launcher.cfg"_s, s.fileFound ? u"read"_s : u"missing, defaults used"_s);
    add(u"Resolution"_s, u"%1 x %2"_s.arg(s.width).arg(s.height));
    add(u"Refresh rate"_s, u"%1 Hz"_s.arg(s.refreshRate));
    for (const QString &name : standinSwitchNames())
        add(name, s.switchesOn.contains(name) ? u"on"_s : u"off"_s);
    for (const QString &word : s.unknownWords)
        add(u"ignored"_s, word);
    tree->resizeColumnToContents(0);
    return tree;
}

QTreeWidget *resourceTree(const VxStandinState &state)
{
    const QSet<QString> pristine = pristineKeys(state);
    const QDir tweakDir(state.workingDirectory + u"/data/Tweak"_s);
    auto *tree = new QTreeWidget;
    tree->setHeaderLabels({u"Resource"_s, u"Value"_s});
    QTreeWidgetItem *fileItem = nullptr;
    QTreeWidgetItem *elementItem = nullptr;
    for (const VxStandinValue &v : state.values) {
        if (!fileItem || fileItem->text(0) != v.file) {
            fileItem = new QTreeWidgetItem(tree, {v.file});
            const bool modded = QFileInfo::exists(tweakDir.filePath(v.file + u".backup"_s));
            fileItem->setText(1, modded ? u"modded"_s : QString());
            fileItem->setExpanded(modded);
            elementItem = nullptr;
        }
        if (!elementItem || elementItem->data(0, Qt::UserRole).toString() != v.id) {
            elementItem = new QTreeWidgetItem(fileItem, {v.id, v.tag});
            elementItem->setData(0, Qt::UserRole, v.id);
        }
        auto *row = new QTreeWidgetItem(elementItem, {v.field, v.value});
        const QColor color = colorOf(v.value);
        if (color.isValid())
            row->setIcon(1, swatch(color));
        const bool changed =
            fileItem->text(1) == "modded"_L1 &&
            !pristine.contains(v.file + u'\t' + v.id + u'\t' + v.field + u'\t' + v.value);
        if (changed) {
            markChanged(row);
            markChanged(elementItem);
            elementItem->setExpanded(true);
        }
    }
    tree->resizeColumnToContents(0);
    return tree;
}

QTreeWidget *fileTree(const VxStandinState &state)
{
    auto *tree = new QTreeWidget;
    tree->setHeaderLabels({u"Data file"_s, u"Bytes"_s, u"Note"_s});
    tree->setRootIsDecorated(false);
    QSet<QString> paths;
    for (const VxStandinFile &file : state.files)
        paths.insert(file.relativePath);
    for (const VxStandinFile &file : state.files) {
        auto *item = new QTreeWidgetItem(
            tree, {QDir::toNativeSeparators(file.relativePath), QString::number(file.size)});
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        if (file.relativePath.endsWith(".backup"_L1)) {
            item->setText(2, u"kept by the launcher"_s);
            item->setForeground(0, Qt::gray);
        } else if (paths.contains(file.relativePath + u".backup"_s)) {
            // Resource files are edited in place; other data files are swapped whole.
            const bool resource = file.relativePath.startsWith("data/Tweak/"_L1);
            item->setText(2, resource ? u"edited by a mod"_s : u"replaced by a mod"_s);
            markChanged(item);
        }
    }
    tree->resizeColumnToContents(0);
    tree->resizeColumnToContents(1);
    return tree;
}

} // namespace

VxSkyBanner::VxSkyBanner(const VxStandinState &state, QWidget *parent)
    : QWidget(parent), m_top(70, 130, 210), m_horizon(200, 225, 245)
{
    const QColor top = colorOf(valueOf(state, u"World.xml"_s, u"Sky-0"_s, u"TopColor"_s));
    const QColor horizon = colorOf(valueOf(state, u"World.xml"_s, u"Sky-0"_s, u"HorizonColor"_s));
    if (top.isValid())
        m_top = top;
    if (horizon.isValid())
        m_horizon = horizon;
    m_stars = valueOf(state, u"World.xml"_s, u"Sky-0"_s, u"StarCount"_s).toInt();
    const QString faction = valueOf(state, u"Units.xml"_s, u"FactionName"_s, u"Value"_s);
    m_caption = faction.isEmpty() ? u"Vexil 4: Brask"_s : faction;
    setMinimumHeight(90);
}

void VxSkyBanner::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0, m_top);
    gradient.setColorAt(1, m_horizon);
    painter.fillRect(rect(), gradient);
    // A fixed seed keeps the stars still between repaints.
    QRandomGenerator random(4);
    painter.setPen(QColor(255, 255, 240));
    const int shown = qMin(m_stars / 8, 600);
    for (int i = 0; i < shown; ++i)
        painter.drawPoint(random.bounded(qMax(1, width())), random.bounded(qMax(1, height())));
    QFont font = painter.font();
    font.setPointSize(18);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(m_top.lightness() < 100 ? QColor(235, 235, 250) : QColor(20, 30, 50));
    painter.drawText(rect().adjusted(16, 0, -16, 0), Qt::AlignLeft | Qt::AlignVCenter, m_caption);
}

VxStandinWindow::VxStandinWindow(const VxStandinState &state, QWidget *parent) : QWidget(parent)
{
    setWindowTitle(u"Vexil 4: Brask (stand-in game)"_s);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new VxSkyBanner(state));
    for (const QString &problem : state.problems) {
        auto *label = new QLabel(u"Problem: "_s + problem);
        label->setStyleSheet(u"color: #b00000"_s);
        label->setWordWrap(true);
        layout->addWidget(label);
    }
    auto *columns = new QSplitter(Qt::Horizontal);
    auto *left = new QSplitter(Qt::Vertical);
    left->addWidget(settingsTree(state.settings));
    left->addWidget(fileTree(state));
    left->setStretchFactor(1, 2);
    columns->addWidget(left);
    columns->addWidget(resourceTree(state));
    // Long data paths need room; the resource tree takes the rest.
    columns->setSizes({42, 58});
    layout->addWidget(columns, 1);
    auto *quit = new QPushButton(u"Quit game"_s);
    connect(quit, &QPushButton::clicked, this, &QWidget::close);
    layout->addWidget(quit, 0, Qt::AlignRight);
}
