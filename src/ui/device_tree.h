// The instrument tree: ports, their instruments, and the instruments'
// regulators with a tick for "on". It is built whole from the model (a
// project) or node by node while a search finds instruments; both ways go
// through the same functions, so the nodes look and carry the same data
// whichever way they came.
#pragma once

#include <QTreeWidget>
#include <cstdint>
#include <optional>
#include <string>

#include "surfaces.h"

namespace zorvat {

class TModel;

class TDeviceTree : public QTreeWidget {
    Q_OBJECT

  public:
    explicit TDeviceTree(QWidget* parent = nullptr);

    // Level 0 a port, 1 an instrument, 2 a regulator.
    static int Level(const QTreeWidgetItem* item);
    // Node data: the device index of an instrument, the number of a
    // regulator, 0 for a port.
    static int Value(const QTreeWidgetItem* item);
    // The port name ("COM1") of a port or instrument node; empty for others.
    static QString PortName(const QTreeWidgetItem* item);

    // Rebuilds the tree from the model: ports COM1 to COM10 in order, each
    // with its instruments in list order.
    void Build(const TModel& model);
    void Clear();
    QTreeWidgetItem* AddPort(const std::string& port);
    QTreeWidgetItem* AddDevice(const std::string& port, std::uint8_t device,
                               const std::string& text);
    QTreeWidgetItem* AddRegulator(RegulatorRef regulator, bool on);

    QTreeWidgetItem* PortNode(const QString& port) const;
    QTreeWidgetItem* DeviceNode(std::uint8_t device) const;
    QTreeWidgetItem* RegulatorNode(RegulatorRef regulator) const;

    // The instrument of the selected node (itself or its regulator's).
    std::optional<std::uint8_t> SelectedDevice() const;
    std::optional<RegulatorRef> RegulatorOf(const QTreeWidgetItem* item) const;

    // A regulator line's value column and tick; the value column of the
    // selected node.
    void SetValue(RegulatorRef regulator, const QString& text);
    void SetChecked(RegulatorRef regulator, bool checked);
    void ClearSelectedValue();

    // What the first column needs to show every node's whole text, and the
    // tree's width to show the first column and the value column whole.
    int FirstColumnWidth() const { return sizeHintForColumn(0); }
    int WholeWidth() const;

    // True while the program changes the tree: its change signals are not
    // the operator's.
    bool Filling() const { return filling_; }

    // A port node's tooltip: its line statistics as they stand when asked.
    static QString LineStatsToolTip(const QString& port);

  protected:
    bool viewportEvent(QEvent* event) override;

  private:
    bool filling_ = false;
};

}  // namespace zorvat
