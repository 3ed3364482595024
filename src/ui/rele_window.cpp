#include "rele_window.h"

#include <QComboBox>
#include <QFont>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

#include "Devices.h"
#include "model.h"
#include "settings_exchange.h"

namespace zorvat {

namespace {

// Geometry of the cells in the scroll area: relay r, channel c, row k.
constexpr int kCellWidth = 59;
constexpr int kCellHeight = 20;
int CellLeft(int r) {
    return 65 * (r - 1) + 110;
}
int CellTop(int c, int k) {
    return 104 * (c - 1) + 21 * (k - 1) + 52;
}
int GroupTop(int c) {
    return 104 * (c - 1) + 34;
}
constexpr int kGroupHeight = 102;
constexpr int kContentWidth = 110 + 65 * 3 + kCellWidth + 10;
constexpr int kWindowWidth = kContentWidth + 18;
constexpr int kHeaderHeight = 58;

// What a cell shows for its value; the texts of value 0 begin with a Latin
// capital H.
struct CellLook {
    const char* text;
    QColor color;  // invalid: the window's button face
};
const CellLook kSetpointLooks[4] = {{"Hет", QColor()},
                                    {"Нижняя", QColor(0x00, 0xFF, 0xFF)},
                                    {"Верхняя", QColor(0xFF, 0x00, 0xFF)},
                                    {"Выкл", QColor(0x00, 0xFF, 0x00)}};
const CellLook kErrorLooks[3] = {
    {"Hет", QColor()}, {"Вкл", QColor(0xFF, 0x00, 0x00)}, {"Выкл", QColor(0x00, 0xFF, 0x00)}};

const char* const kDelayItems[] = {"Откл.", "2из2", "3из4", "4из6", "5из8"};
constexpr std::uint8_t kDelayValues[] = {1, 2, 4, 6, 8};

// Bit n-1 of a relay or channel mask: relay or channel n.
bool HasBit(std::uint8_t mask, int n) {
    return ((static_cast<unsigned>(mask) >> static_cast<unsigned>(n - 1)) & 1u) != 0;
}

std::uint8_t TDevice::*const kDelayFields[] = {&TDevice::nrL1, &TDevice::nrL2, &TDevice::nrL3,
                                               &TDevice::nrL4};

}  // namespace

RelayCells UnPack(const std::array<std::uint8_t, 12>& relTbl) {
    RelayCells cells{};
    for (std::size_t r = 0; r < 4; ++r) {
        for (std::size_t c = 0; c < 3; ++c) {
            const std::uint8_t byte = relTbl[3 * r + c];
            for (std::size_t k = 0; k < 4; ++k) {
                auto value = static_cast<std::uint8_t>((byte >> (2 * k)) & 3u);
                if (k == 3 && value == 3) value = 0;
                cells[r][c][k] = value;
            }
        }
    }
    return cells;
}

void Pack(const RelayCells& cells, std::array<std::uint8_t, 12>& relTbl) {
    for (std::size_t r = 0; r < 4; ++r) {
        for (std::size_t c = 0; c < 3; ++c) {
            unsigned byte = relTbl[3 * r + c];
            for (std::size_t k = 0; k < 4; ++k) {
                const unsigned shift = static_cast<unsigned>(2 * k);
                byte = (byte & ~(3u << shift)) | ((cells[r][c][k] & 3u) << shift);
            }
            relTbl[3 * r + c] = static_cast<std::uint8_t>(byte);
        }
    }
}

int DelayItem(std::uint8_t nrL) {
    for (int i = 0; i < 5; ++i) {
        if (kDelayValues[i] == nrL) return i;
    }
    return -1;
}

std::uint8_t DelayValue(int item) {
    return item >= 0 && item < 5 ? kDelayValues[item] : 0;
}

TFormRELE::TFormRELE(TModel& model, QWidget* parent) : TDialogFrame(model, parent) {
    setWindowTitle(QStringLiteral("Управление коммутацией РЕЛЕ"));
    setObjectName(QStringLiteral("FormRELE"));

    // Delay settings above the relay columns.
    auto* header = new QWidget(this);
    header->setFixedHeight(kHeaderHeight);
    auto* delayTitle = new QLabel(QStringLiteral("Задержка"), header);
    QFont bold = delayTitle->font();
    bold.setBold(true);
    delayTitle->setFont(bold);
    delayTitle->move(12, 10);
    auto* delayNote = new QLabel(QStringLiteral("[nSP1...nSP4]"), header);
    delayNote->setEnabled(false);
    delayNote->move(12, 30);
    for (int r = 1; r <= kRelays; ++r) {
        auto* list = new QComboBox(header);
        list->setObjectName(QStringLiteral("MenuMajor%1").arg(r));
        list->setProperty("tag", r - 1);
        for (const char* item : kDelayItems)
            list->addItem(QString::fromUtf8(item));
        list->setGeometry(CellLeft(r) - 3, 16, kCellWidth + 6, 24);
        connect(list, &QComboBox::activated, this,
                [this, r](int item) { MenuMajor1Change(r - 1, item); });
        delayLists_[static_cast<std::size_t>(r - 1)] = list;
    }

    // The cells, in channel groups, in a scroll area.
    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    content_ = new QWidget;
    content_->setObjectName(QStringLiteral("ScrollBox1"));
    content_->setFixedSize(kContentWidth, GroupTop(kChannels) + kGroupHeight + 4);
    for (int r = 1; r <= kRelays; ++r) {
        auto* head = new QLabel(QStringLiteral("Реле%1").arg(r), content_);
        head->setAlignment(Qt::AlignCenter);
        head->setFont(bold);
        head->setGeometry(CellLeft(r), 8, kCellWidth, 20);
        relayHeads_[static_cast<std::size_t>(r - 1)] = head;
    }
    const char* rowLabels[] = {"Уставка 1", "Уставка 2", "Уставка 3", "Ошибка"};
    for (int c = 1; c <= kChannels; ++c) {
        auto* group = new QGroupBox(QStringLiteral(" Канал  %1 ").arg(c), content_);
        group->setObjectName(QStringLiteral("GroupBox%1").arg(c));
        group->setGeometry(6, GroupTop(c), kContentWidth - 12, kGroupHeight);
        for (int k = 1; k <= kRows; ++k) {
            auto* label = new QLabel(QString::fromUtf8(rowLabels[k - 1]), group);
            label->setGeometry(12, CellTop(c, k) - GroupTop(c), 90, kCellHeight);
        }
        groups_[static_cast<std::size_t>(c - 1)] = group;
    }
    for (int r = 1; r <= kRelays; ++r) {
        for (int c = 1; c <= kChannels; ++c) {
            for (int k = 1; k <= kRows; ++k) {
                auto* cell = new QLabel(QStringLiteral("Нет"), content_);
                cell->setObjectName(QStringLiteral("Cell%1%2%3").arg(r).arg(c).arg(k));
                cell->setGeometry(CellLeft(r), CellTop(c, k), kCellWidth, kCellHeight);
                cell->setFrameStyle(QFrame::Panel | QFrame::Sunken);
                cell->setAlignment(Qt::AlignCenter);
                cell->setAutoFillBackground(true);
                cell->setProperty("value", 0);
                cell->setCursor(Qt::PointingHandCursor);
                cell->installEventFilter(this);
                Cell({r, c, k}) = cell;
            }
        }
    }
    scroll_->setWidget(content_);

    // The two context menus of the cells.
    PopUstav = new QMenu(this);
    PopUstav->setObjectName(QStringLiteral("PopUstav"));
    const std::pair<const char*, const char*> setpointItems[] = {
        {"N1", "Нет"}, {"N2", "Нижняя"}, {"N3", "Верхняя"}, {"N4", "Выкл"}};
    std::uint8_t value = 0;
    for (const auto& [name, text] : setpointItems) {
        QAction* action = PopUstav->addAction(QString::fromUtf8(text));
        action->setObjectName(QString::fromUtf8(name));
        connect(action, &QAction::triggered, this, [this, value] { MenuChoice(value); });
        ++value;
    }
    PopError = new QMenu(this);
    PopError->setObjectName(QStringLiteral("PopError"));
    const std::pair<const char*, const char*> errorItems[] = {
        {"E1", "Нет"}, {"E2", "Вкл"}, {"E3", "Выкл"}};
    value = 0;
    for (const auto& [name, text] : errorItems) {
        QAction* action = PopError->addAction(QString::fromUtf8(text));
        action->setObjectName(QString::fromUtf8(name));
        connect(action, &QAction::triggered, this, [this, value] { MenuChoice(value); });
        ++value;
    }

    QHBoxLayout* buttons =
        CloseButtonRow([this] { BtnERClick(); }, QStringLiteral("Ок"), "BtnER", "Button1");
    buttons->setContentsMargins(12, 6, 12, 10);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(header);
    layout->addWidget(scroll_, 1);
    layout->addLayout(buttons);
    setFixedSize(kWindowWidth, kFullHeight);
}

QLabel*& TFormRELE::Cell(const CellRef& cell) {
    const auto index = static_cast<std::size_t>(
        ((cell.relay - 1) * kChannels + cell.channel - 1) * kRows + cell.row - 1);
    return cells_[index];
}

bool TFormRELE::LoadForDevice(std::uint8_t device, std::uint8_t channelMask,
                              std::uint8_t relayMask) {
    channelMask_ = channelMask;
    relayMask_ = relayMask;
    if (!ReadDevice(device, [this] { return ReadRelayTable(model_, deviceIndex_); })) return false;
    const bool twoRegulators = device_->Regs[2] && device_->Regs[2]->Present;
    setFixedSize(kWindowWidth, twoRegulators ? kFullHeight : kShortHeight);
    FormShow();
    return true;
}

bool TFormRELE::OpenForDevice(std::uint8_t device, std::uint8_t channelMask,
                              std::uint8_t relayMask) {
    if (!LoadForDevice(device, channelMask, relayMask)) return false;
    if (const QScreen* shown = screen()) {
        move(shown->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    exec();
    return true;
}

void TFormRELE::FormShow() {
    const RelayCells cells = UnPack(device_->relTbl);
    for (int r = 1; r <= kRelays; ++r) {
        const auto ri = static_cast<std::size_t>(r - 1);
        const bool relay = HasBit(relayMask_, r);
        delayLists_[ri]->setVisible(relay);
        relayHeads_[ri]->setVisible(relay);
        delayLists_[ri]->setCurrentIndex(DelayItem(device_->*kDelayFields[ri]));
        for (int c = 1; c <= kChannels; ++c) {
            const bool channel = HasBit(channelMask_, c);
            for (int k = 1; k <= kRows; ++k) {
                const CellRef ref{r, c, k};
                SetCell(
                    ref,
                    cells[ri][static_cast<std::size_t>(c - 1)][static_cast<std::size_t>(k - 1)]);
                Cell(ref)->setVisible(relay && channel);
            }
        }
    }
    int lastGroup = 0;
    for (int c = 1; c <= kChannels; ++c) {
        const bool channel = HasBit(channelMask_, c);
        groups_[static_cast<std::size_t>(c - 1)]->setVisible(channel);
        if (channel) lastGroup = c;
    }
    // The scroll area reaches as far as the last group shown.
    content_->setFixedHeight(GroupTop(std::max(lastGroup, 1)) + kGroupHeight + 4);
}

void TFormRELE::SetCell(const CellRef& cell, std::uint8_t value) {
    value &= 3u;
    const bool error = cell.row == kErrorRow;
    if (error && value == 3) value = 0;
    const CellLook& look = error ? kErrorLooks[value] : kSetpointLooks[value];
    values_[static_cast<std::size_t>(cell.relay - 1)][static_cast<std::size_t>(cell.channel - 1)]
           [static_cast<std::size_t>(cell.row - 1)] = value;
    QLabel* label = Cell(cell);
    label->setText(QString::fromUtf8(look.text));
    QPalette colours = palette();
    colours.setColor(QPalette::Window,
                     look.color.isValid() ? look.color : palette().color(QPalette::Button));
    colours.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(colours);
    label->setProperty("value", value);
}

void TFormRELE::PopupAt(const CellRef& cell, const QPoint& globalPos) {
    popupCell_ = cell;
    QMenu* menu = cell.row == kErrorRow ? PopError : PopUstav;
    menu->popup(globalPos);
}

void TFormRELE::MenuChoice(std::uint8_t value) {
    PopUstav->hide();
    PopError->hide();
    if (device_ == nullptr) return;
    SetCell(popupCell_, value);
}

void TFormRELE::MenuMajor1Change(int tag, int item) {
    if (device_ == nullptr || tag < 0 || tag >= kRelays || item < 0) return;
    device_->*kDelayFields[tag] = DelayValue(item);
}

bool TFormRELE::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        for (std::size_t i = 0; i < cells_.size(); ++i) {
            if (cells_[i] != watched) continue;
            const int index = static_cast<int>(i);
            const CellRef ref{index / (kChannels * kRows) + 1, index / kRows % kChannels + 1,
                              index % kRows + 1};
            const auto* mouse = static_cast<QMouseEvent*>(event);
            PopupAt(ref, mouse->globalPosition().toPoint());
            return true;
        }
    }
    return TDialogFrame::eventFilter(watched, event);
}

void TFormRELE::BtnERClick() {
    if (device_ == nullptr || Busy()) return;
    Pack(values_, device_->relTbl);
    RunWrite([this] { return WriteRelayTable(model_, deviceIndex_); });
}

}  // namespace zorvat
