#include "device_tree.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QStyle>
#include <QToolTip>

#include "Devices.h"
#include "line_stats.h"
#include "model.h"
#include "ui_fill_guard.h"

namespace zorvat {
namespace {

constexpr int kValueRole = Qt::UserRole;     // node value: 0, device index, regulator number
constexpr int kPortRole = Qt::UserRole + 1;  // port name of port and instrument nodes
constexpr int kPortCount = 10;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

TDeviceTree::TDeviceTree(QWidget* parent) : QTreeWidget(parent) {
    setObjectName("Tree");
    setColumnCount(2);
    setHeaderLabels({"Найденные приборы", "Измерение"});
    setIndentation(14);
    // Every node's text shows whole: the first column is as wide as its
    // texts, and the tree scrolls sideways when it is narrower.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header()->setSectionResizeMode(1, QHeaderView::Interactive);
    header()->resizeSection(1, 74);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setMinimumWidth(150);
}

QString TDeviceTree::LineStatsToolTip(const QString& port) {
    QString text = "Статистика линии " + port;
    for (const std::string& line : LineStatsLines(LineStatsOf(port.toStdString())))
        text += "\n" + Q(line);
    return text;
}

bool TDeviceTree::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QTreeWidgetItem* item = itemAt(help->pos());
        if (item != nullptr && Level(item) == 0) {
            QToolTip::showText(help->globalPos(), LineStatsToolTip(PortName(item)), viewport());
            return true;
        }
    }
    return QTreeWidget::viewportEvent(event);
}

QString TDeviceTree::PortName(const QTreeWidgetItem* item) {
    return item->data(0, kPortRole).toString();
}

int TDeviceTree::Level(const QTreeWidgetItem* item) {
    int level = 0;
    for (const QTreeWidgetItem* p = item->parent(); p != nullptr; p = p->parent())
        ++level;
    return level;
}

int TDeviceTree::Value(const QTreeWidgetItem* item) {
    return item->data(0, kValueRole).toInt();
}

int TDeviceTree::WholeWidth() const {
    return FirstColumnWidth() + header()->sectionSize(1) + 2 * frameWidth() +
           style()->pixelMetric(QStyle::PM_ScrollBarExtent);
}

void TDeviceTree::Clear() {
    FillGuard guard(filling_);
    clear();
}

QTreeWidgetItem* TDeviceTree::AddPort(const std::string& port) {
    FillGuard guard(filling_);
    auto* node = new QTreeWidgetItem(this, {Q("Порт " + port)});
    node->setFlags(node->flags() & ~Qt::ItemIsUserCheckable);
    node->setData(0, kValueRole, 0);
    node->setData(0, kPortRole, Q(port));
    return node;
}

QTreeWidgetItem* TDeviceTree::AddDevice(const std::string& port, std::uint8_t device,
                                        const std::string& text) {
    QTreeWidgetItem* root = PortNode(Q(port));
    if (root == nullptr) return nullptr;
    FillGuard guard(filling_);
    auto* node = new QTreeWidgetItem(root, {Q(text)});
    node->setToolTip(0, node->text(0));
    node->setFlags(node->flags() & ~Qt::ItemIsUserCheckable);
    node->setData(0, kValueRole, static_cast<int>(device));
    node->setData(0, kPortRole, Q(port));
    root->setExpanded(true);
    return node;
}

QTreeWidgetItem* TDeviceTree::AddRegulator(RegulatorRef regulator, bool on) {
    QTreeWidgetItem* device = DeviceNode(regulator.device);
    if (device == nullptr) return nullptr;
    FillGuard guard(filling_);
    auto* node = new QTreeWidgetItem(device, {QString("Регулятор %1").arg(regulator.regulator)});
    node->setData(0, kValueRole, static_cast<int>(regulator.regulator));
    node->setFlags(node->flags() | Qt::ItemIsUserCheckable);
    node->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
    device->setExpanded(true);
    return node;
}

void TDeviceTree::Build(const TModel& model) {
    FillGuard guard(filling_);
    setUpdatesEnabled(false);
    clear();
    const std::size_t count = model.DeviceList.Count();
    for (int n = 1; n <= kPortCount; ++n) {
        const std::string port = "COM" + std::to_string(n);
        bool added = false;
        for (std::size_t d = 0; d < count; ++d) {
            const TDevice* device = model.Device(d);
            if (device == nullptr || device->ParentPort != port) continue;
            if (!added) AddPort(port);
            added = true;
            const auto index = static_cast<std::uint8_t>(d);
            AddDevice(port, index, DeviceNodeText(device->Name, device->Address));
            for (std::uint8_t r = 1; r <= 2; ++r) {
                const TParams* reg = model.Regulator(d, r);
                if (reg == nullptr || (r == 2 && !reg->Present)) continue;
                AddRegulator({index, r}, reg->RegOn);
            }
        }
    }
    expandAll();
    setUpdatesEnabled(true);
}

QTreeWidgetItem* TDeviceTree::PortNode(const QString& port) const {
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = topLevelItem(i);
        if (item->data(0, kPortRole).toString() == port) return item;
    }
    return nullptr;
}

QTreeWidgetItem* TDeviceTree::DeviceNode(std::uint8_t device) const {
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* port = topLevelItem(i);
        for (int j = 0; j < port->childCount(); ++j) {
            if (Value(port->child(j)) == device) return port->child(j);
        }
    }
    return nullptr;
}

QTreeWidgetItem* TDeviceTree::RegulatorNode(RegulatorRef regulator) const {
    QTreeWidgetItem* device = DeviceNode(regulator.device);
    if (device == nullptr) return nullptr;
    for (int k = 0; k < device->childCount(); ++k) {
        if (Value(device->child(k)) == regulator.regulator) return device->child(k);
    }
    return nullptr;
}

std::optional<std::uint8_t> TDeviceTree::SelectedDevice() const {
    const QTreeWidgetItem* item = currentItem();
    if (item == nullptr) return std::nullopt;
    switch (Level(item)) {
        case 1:
            return static_cast<std::uint8_t>(Value(item));
        case 2:
            return static_cast<std::uint8_t>(Value(item->parent()));
        default:
            return std::nullopt;
    }
}

std::optional<RegulatorRef> TDeviceTree::RegulatorOf(const QTreeWidgetItem* item) const {
    if (item == nullptr || Level(item) != 2) return std::nullopt;
    return RegulatorRef{static_cast<std::uint8_t>(Value(item->parent())),
                        static_cast<std::uint8_t>(Value(item))};
}

void TDeviceTree::SetValue(RegulatorRef regulator, const QString& text) {
    if (QTreeWidgetItem* node = RegulatorNode(regulator)) {
        FillGuard guard(filling_);
        node->setText(1, text);
    }
}

void TDeviceTree::SetChecked(RegulatorRef regulator, bool checked) {
    if (QTreeWidgetItem* node = RegulatorNode(regulator)) {
        FillGuard guard(filling_);
        node->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    }
}

void TDeviceTree::ClearSelectedValue() {
    if (QTreeWidgetItem* item = currentItem()) {
        FillGuard guard(filling_);
        item->setText(1, QString());
    }
}

}  // namespace zorvat
