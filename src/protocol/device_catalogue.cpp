#include "device_catalogue.h"

#include <initializer_list>
#include <utility>
#include <vector>

#include "ascii_u.h"
#include "ex_com.h"

namespace zorvat {

namespace {

using Modes = std::pair<std::uint8_t, std::uint8_t>;  // request mode, reply mode

struct ModeGroup {
    Modes modes;
    std::vector<int> commands;
};

struct EntrySource {
    std::int16_t code;
    const char* name;
    std::uint16_t timeout;
    std::int16_t channels;
    std::int16_t aux;
    const char* layout;
    std::vector<ModeGroup> groups;  // every command of a group is accepted
};

TDeviceInfo MakeEntry(const EntrySource& src) {
    TDeviceInfo e;
    e.TypeCode = src.code;
    e.TypeName = src.name;
    e.ReplyTimeout = src.timeout;
    e.Channels = src.channels;
    e.AuxValues = src.aux;
    e.ChannelLayout = src.layout;
    for (const ModeGroup& group : src.groups) {
        for (int command : group.commands) {
            const auto c = static_cast<std::size_t>(command);
            e.Commands.set(c);
            e.Modes[c] = {group.modes.first, group.modes.second};
        }
    }
    return e;
}

void SetErrors(TDeviceInfo& e, std::initializer_list<std::pair<int, const char*>> texts) {
    for (const auto& [number, text] : texts) {
        const auto n = static_cast<std::size_t>(number);
        e.ErrorNumbers.set(n);
        e.ErrorTexts[n] = text;
    }
}

std::string OneGroupPerIndex(int count) {
    std::string layout;
    for (int i = 0; i < count; ++i)
        layout += "[" + std::to_string(i) + "]";
    return layout;
}

constexpr Modes kDataNoArg{0, 1};    // (0, 1)
constexpr Modes kDataWithArg{1, 1};  // (1, 1)
constexpr Modes kAckWithArg{1, 0};   // (1, 0)
constexpr Modes kAckNoArg{0, 0};     // (0, 0)

std::array<TDeviceInfo, kDeviceTypeCount> BuildCatalogue() {
    std::array<TDeviceInfo, kDeviceTypeCount> c;

    // Type 0 accepts everything: 0 and 1 like the others, 2..255 with an
    // optional data field and a reply from any address.
    TDeviceInfo any =
        MakeEntry({0, "Unknown device", 1200, 0, 0, "", {{kDataNoArg, {0}}, {kDataWithArg, {1}}}});
    for (std::size_t cmd = 2; cmd < 256; ++cmd) {
        any.Commands.set(cmd);
        any.Modes[cmd] = {2, 2};
    }
    c[0] = std::move(any);

    const std::vector<ModeGroup> simpleGroups{{kDataNoArg, {0}}, {kDataWithArg, {1}}};
    c[1] = MakeEntry({1, "Тип 1: восьмиканальный измеритель", 400, 8, 8,
                      "[0,8][1,9][2,10][3,11][4,12][5,13][6,14][7,15]", simpleGroups});
    c[2] = MakeEntry({2, "Тип 2: четырёхканальный измеритель", 400, 4, 8,
                      "[0,4,8][1,5,9][2,6,10][3,7,11]", simpleGroups});
    c[3] = MakeEntry({3, "Тип 3: одноканальный измеритель", 400, 1, 2, "[0,1,2]", simpleGroups});
    c[4] = MakeEntry({4, "Тип 4: одноканальный измеритель", 400, 1, 2, "[0,1,2]", simpleGroups});
    c[5] = MakeEntry({5, "Тип 5: одноканальный измеритель", 400, 1, 2, "[0,1,2]", simpleGroups});
    c[6] = MakeEntry({6, "Тип 6: восьмиканальный коммутатор", 400, 8, 0,
                      "[0][1][2][3][4][5][6][7][8]", simpleGroups});

    const std::vector<ModeGroup> twelveCommands{
        {kDataNoArg, {0}}, {kDataWithArg, {1, 3, 5, 7, 9, 10}}, {kAckWithArg, {2, 4, 6, 8, 11}}};
    c[7] = MakeEntry({7, "Тип 7: трёхканальный регистратор", 400, 3, 12,
                      "[1,4,7,10,13][2,5,8,11,14][3,6,9,12,15]", twelveCommands});

    const std::vector<ModeGroup> withSix{{kDataNoArg, {0}}, {kDataWithArg, {1, 6}}};
    c[8] = MakeEntry({8, "Тип 8: шестиканальный измеритель", 400, 6, 12,
                      "[0,8,16][1,9,17][2,10,18][3,11,19][4,12,20][5,13,21]", withSix});
    c[9] = MakeEntry({9,
                      "Тип 9: одноканальный преобразователь",
                      150,
                      1,
                      3,
                      "[0,1,2,3]",
                      {{kDataNoArg, {0, 3, 6}},
                       {kDataWithArg, {1}},
                       {kAckWithArg, {2, 4, 5, 7, 8, 9}},
                       {kAckNoArg, {11, 13, 14, 255}}}});
    c[10] = MakeEntry({10, "Тип 10: многоканальный измеритель", 400, 128, 0, "", withSix});
    c[10].ChannelLayout = OneGroupPerIndex(128);
    c[11] = MakeEntry({11, "Тип 11: шестиканальный регистратор", 400, 6, 24,
                       "[1,7,13,19,25][2,8,14,20,26][3,9,15,21,27][4,10,16,22,28][5,11,17,23,29]"
                       "[6,12,18,24,30]",
                       twelveCommands});
    c[12] = MakeEntry({12, "Тип 12: одноканальный индикатор", 400, 1, 0, "[0]", simpleGroups});
    c[13] = MakeEntry({13,
                       "Тип 13: трёхканальный контроллер",
                       1200,
                       3,
                       0,
                       "[0][1][2]",
                       {{kDataNoArg, {0, 3, 7, 254}},
                        {kDataWithArg, {1, 8}},
                        {kAckWithArg, {2, 4, 5, 6, 9, 10}},
                        {kAckNoArg, {255}}}});
    c[14] = MakeEntry(
        {15, "Тип 15: трёхканальный регистратор", 2000, 3, 0, "[1][2][3]", twelveCommands});

    const char* const kRepair = "Прибор неисправен и требует ремонта";
    for (int i : {1, 2, 6}) {
        SetErrors(c[static_cast<std::size_t>(i)],
                  {{0, kRepair},
                   {1, kRepair},
                   {2, "Входной сигнал превышает максимально допустимый уровень"},
                   {3, "Не существующий номер канала"}});
    }
    for (int i : {3, 4, 5}) {
        SetErrors(c[static_cast<std::size_t>(i)],
                  {{0, kRepair},
                   {1, "Обрыв в цепи датчика"},
                   {2, "Входной сигнал превышает максимально допустимый уровень(переполнение)"},
                   {3, "Не существующий номер канала"},
                   {6, "Измеряемые данные недоступны(например, сразу после включения прибора)"}});
    }
    for (std::size_t i : {std::size_t{7}, std::size_t{11}, std::size_t{14}}) {
        SetErrors(c[i], {{0, "Ошибок нет"},
                         {1, kRepair},
                         {2, "Переполнение"},
                         {3, "Неверная контрольная сумма при чтении чисел из eeprom"},
                         {4, "Получена неверная команда"}});
    }
    for (std::size_t i : {std::size_t{8}, std::size_t{10}}) {
        SetErrors(c[i],
                  {{0, kRepair},
                   {1, "Переполнение АЦП (вниз) или обрыв датчика"},
                   {3, "Не существующий номер канала"},
                   {6, "Измеряемые данные недоступны (например, сразу после включения прибора)"},
                   {8, "Переполнение АЦП (вверх)"}});
    }
    SetErrors(c[8], {{9, kRepair}});
    SetErrors(c[9],
              {{0, "Ошибок нет"},
               {17, "Неопознанная команда"},
               {18, "Неверный тип данных команды"},
               {19, "Превышение максимального адреса EEPROM"},
               {20, "Ошибка EEPROM"},
               {21, "Ошибка контрольной суммы EEPROM"},
               {22, "Превышение максимального адреса знакоместа индикатора"},
               {23, "Доступ к EEPROM запрещен"},
               {49, "Обрыв датчика"},
               {50,
                "АЦП не готов. Прошло недостаточно времени от момента включения или изменения "
                "параметров АЦП"},
               {51, "Выход за границу диапазона"},
               {52, "Ошибка АЦП по таймауту"},
               {53, "АЦП сообщает об ошибке EEPROM"}});
    SetErrors(c[12], {{0, "Ошибок нет"}});
    SetErrors(c[13], {{0, "Ошибок нет"},
                      {21, "Неопознанная команда"},
                      {22, "Неверный тип данных команды"},
                      {23, "Превышение максимального адреса"},
                      {24, "Ошибка EEPROM прибора"}});
    return c;
}

}  // namespace

const std::array<TDeviceInfo, kDeviceTypeCount>& DeviceInfos() {
    static const std::array<TDeviceInfo, kDeviceTypeCount> catalogue = BuildCatalogue();
    return catalogue;
}

TResult FindDeviceInfo(std::int16_t typeCode, TDeviceInfo& entry) {
    for (const TDeviceInfo& info : DeviceInfos()) {
        if (info.TypeCode == typeCode) {
            entry = info;
            return rc::Ok;
        }
    }
    entry = TDeviceInfo{};
    return rc::UnknownType;
}

namespace {
const TDeviceInfo* Lookup(std::int16_t typeCode) {
    for (const TDeviceInfo& info : DeviceInfos()) {
        if (info.TypeCode == typeCode) return &info;
    }
    return nullptr;
}
}  // namespace

TResult SetTimeoutForType(TExCOM& port, std::int16_t typeCode) {
    const TDeviceInfo* info = Lookup(typeCode);
    if (info == nullptr) return rc::UnknownType;
    if (typeCode == 0) return rc::Ok;
    return port.SetTimeout(info->ReplyTimeout);
}

TResult Exchange(TExCOM& port, std::int16_t typeCode, std::uint8_t address, std::uint8_t command,
                 std::string& data) {
    TResult result = SetTimeoutForType(port, typeCode);
    if (result != rc::Ok) return result;
    const TDeviceInfo* info = Lookup(typeCode);
    if (info == nullptr) return rc::UnknownType;
    if (!info->Commands.test(command)) return rc::BadCommand;
    const TCommandModes modes = info->Modes[command];

    std::string frame;
    result = BuildRequest(address, command, modes.RequestMode, data, frame);
    if (result != rc::Ok) return result;
    result = port.WriteFrame(frame);
    if (result != rc::Ok) return result;
    std::string reply;
    result = port.ReadReply(reply);
    if (result != rc::Ok) return result;
    std::uint8_t replyAddress = 0;
    result = ParseReply(reply, replyAddress, data);
    if (result == rc::Ok) result = CheckReply(modes.ReplyMode, address, replyAddress, data);
    port.EndExchange(result);
    return result;
}

}  // namespace zorvat
