#include "ports_window.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <map>

#include "message_box.h"
#include "net_transport.h"
#include "port_map.h"
#include "ports_file.h"
#include "ui_queue.h"

namespace zorvat {

namespace {

enum Column { PortCol, NowCol, ChoiceCol, StateCol, ColumnCount };

QString SourceText(const std::string& source) {
    if (source == "environment") return QStringLiteral("переменная окружения");
    if (source == "ports.ini") return QStringLiteral("ports.ini");
    if (source == "override") return QStringLiteral("задано программой");
    return QStringLiteral("по умолчанию");
}

}  // namespace

TPortsWindow::TPortsWindow(std::string programDir, QWidget* parent)
    : QDialog(parent), programDir_(std::move(programDir)), queue_(new TUiQueue(this)) {
    setObjectName("PortsWindow");
    setWindowTitle(QStringLiteral("Порты"));
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(QStringLiteral(
        "Каждому порту COM1–COM10 можно назначить последовательный порт этого компьютера "
        "или сервер последовательных портов в сети: tcp://УЗЕЛ:ПОРТ (без преобразования) "
        "или rfc2217://УЗЕЛ:ПОРТ (скорость задаёт программа). Пустое поле — порт по "
        "умолчанию. Изменения действуют при следующем открытии порта."));
    note->setWordWrap(true);
    layout->addWidget(note);

    table_ = new QTableWidget(kPorts, ColumnCount);
    table_->setObjectName("PortsTable");
    table_->setHorizontalHeaderLabels({QStringLiteral("Порт"), QStringLiteral("Сейчас"),
                                       QStringLiteral("Устройство или сетевой адрес"),
                                       QStringLiteral("Состояние")});
    table_->verticalHeader()->hide();
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setSectionResizeMode(PortCol, QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setSectionResizeMode(NowCol, QHeaderView::Interactive);
    table_->horizontalHeader()->setSectionResizeMode(ChoiceCol, QHeaderView::Stretch);
    table_->horizontalHeader()->setSectionResizeMode(StateCol, QHeaderView::Interactive);
    table_->setColumnWidth(NowCol, 200);
    table_->setColumnWidth(StateCol, 220);
    layout->addWidget(table_);

    auto* buttons = new QHBoxLayout;
    auto* rescan = new QPushButton(QStringLiteral("&Обновить список устройств"));
    rescan->setObjectName("RescanBtn");
    auto* check = new QPushButton(QStringLiteral("&Проверить"));
    check->setObjectName("CheckBtn");
    buttons->addWidget(rescan);
    buttons->addWidget(check);
    buttons->addStretch();
    auto* cancel = new QPushButton(QStringLiteral("Отмена"));
    cancel->setObjectName("CancelBtn");
    auto* ok = new QPushButton(QStringLiteral("OK"));
    ok->setObjectName("OkBtn");
    ok->setDefault(true);
    buttons->addWidget(cancel);
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    connect(rescan, &QPushButton::clicked, this, [this] { Rescan(); });
    connect(check, &QPushButton::clicked, this, [this] { CheckAll(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ok, &QPushButton::clicked, this, [this] { OkBtnClick(); });

    resize(900, 420);
    Rescan();
}

TPortsWindow::~TPortsWindow() {
    for (std::thread& t : checks_)
        t.join();
    queue_->Close();
}

void TPortsWindow::Rescan() {
    devices_ = ScanSerialDevices();
    Fill();
    CheckAll();
}

void TPortsWindow::Fill() {
    for (int n = 1; n <= kPorts; ++n) {
        const int row = n - 1;
        const std::string name = "COM" + std::to_string(n);
        const PortMapping mapping = ResolvePort(name);
        auto* port = new QTableWidgetItem(QString::fromStdString(name));
        table_->setItem(row, PortCol, port);
        auto* now = new QTableWidgetItem(QString::fromStdString(mapping.device) + " (" +
                                         SourceText(mapping.source) + ")");
        now->setToolTip(now->text());
        table_->setItem(row, NowCol, now);

        // What is chosen stays chosen over a new scan.
        const QString previous =
            choices_[static_cast<std::size_t>(row)] != nullptr
                ? choices_[static_cast<std::size_t>(row)]->currentText()
                : (mapping.source == "ports.ini" ? QString::fromStdString(mapping.device)
                                                 : QString());
        auto* box = new QComboBox;
        box->setObjectName(QString::fromStdString(name) + "Choice");
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->lineEdit()->setPlaceholderText(QStringLiteral("по умолчанию: /dev/ttyS%1").arg(n - 1));
        box->addItem(QString());
        for (const SerialDeviceInfo& d : devices_) {
            box->addItem(QString::fromStdString(d.path));
            box->setItemData(box->count() - 1, QString::fromStdString(d.Description()),
                             Qt::ToolTipRole);
        }
        box->setCurrentText(previous);
        // The environment and the program itself (the demonstration bench)
        // win over ports.ini: their ports are shown, not chosen here.
        const bool fixed = mapping.source == "environment" || mapping.source == "override";
        fixed_[static_cast<std::size_t>(row)] = fixed;
        box->setEnabled(!fixed);
        if (fixed) box->setCurrentText(QString::fromStdString(mapping.device));
        if (fixed)
            box->setToolTip(QStringLiteral("Порт задан вне ports.ini: ") +
                            SourceText(mapping.source));
        table_->setCellWidget(row, ChoiceCol, box);
        choices_[static_cast<std::size_t>(row)] = box;
        connect(box, &QComboBox::currentTextChanged, this,
                [this, n] { table_->setItem(n - 1, StateCol, new QTableWidgetItem(QString())); });
        table_->setItem(row, StateCol, new QTableWidgetItem(QString()));
    }
}

QString TPortsWindow::Choice(int n) const {
    if (n < 1 || n > kPorts) return {};
    return choices_[static_cast<std::size_t>(n - 1)]->currentText().trimmed();
}

QString TPortsWindow::CheckResult(int n) const {
    if (n < 1 || n > kPorts) return {};
    const QTableWidgetItem* item = table_->item(n - 1, StateCol);
    return item != nullptr ? item->text() : QString();
}

void TPortsWindow::CheckAll() {
    for (int n = 1; n <= kPorts; ++n)
        Check(n);
}

void TPortsWindow::Check(int n) {
    const QString choice = Choice(n);
    const std::string device = fixed_[static_cast<std::size_t>(n - 1)] || choice.isEmpty()
                                   ? ResolvePort("COM" + std::to_string(n)).device
                                   : choice.toStdString();
    table_->setItem(n - 1, StateCol, new QTableWidgetItem(QStringLiteral("проверяется…")));
    ++running_;
    // A device server may take its connection time-out: the window goes on.
    checks_.emplace_back([this, n, device] {
        const SysStatus status = ProbeDevice(device);
        QString text =
            status.ok() ? QStringLiteral("открывается") : QString::fromStdString(status.detail);
        if (status.err == SysErr::Busy)
            text += QStringLiteral(" (или его опрашивает эта программа)");
        // Through the window's own locked queue: the hand-over is one the
        // thread checker sees.
        queue_->Post([this, n, device, ok = status.ok(), text] {
            ShowCheck(n, QString::fromStdString(device), ok, text);
        });
    });
}

void TPortsWindow::ShowCheck(int n, const QString& device, bool ok, const QString& text) {
    --running_;
    // A result for a choice changed meanwhile is old news.
    const QString now = fixed_[static_cast<std::size_t>(n - 1)] || Choice(n).isEmpty()
                            ? QString::fromStdString(ResolvePort("COM" + std::to_string(n)).device)
                            : Choice(n);
    if (now != device) return;
    auto* item = new QTableWidgetItem(text);
    item->setToolTip(text);
    item->setForeground(ok ? QColor(0x00, 0x70, 0x00) : QColor(0xB0, 0x00, 0x00));
    table_->setItem(n - 1, StateCol, item);
}

void TPortsWindow::OkBtnClick() {
    std::map<int, std::string> devices;
    for (int n = 1; n <= kPorts; ++n) {
        if (fixed_[static_cast<std::size_t>(n - 1)]) continue;
        const std::string device = Choice(n).toStdString();
        std::string error;
        if (IsNetworkDevice(device) && !ParseNetworkDevice(device, &error)) {
            Inform(this, QStringLiteral("COM%1: %2").arg(n).arg(QString::fromStdString(error)),
                   MessageKind::Warning);
            return;
        }
        devices[n] = device;
    }
    std::string reason;
    if (!SavePortsIni(programDir_, devices, &reason)) {
        Inform(this,
               QStringLiteral("Не удалось сохранить ports.ini: ") + QString::fromStdString(reason),
               MessageKind::Error);
        return;
    }
    accept();
}

}  // namespace zorvat
