#include "result_messages.h"

#include <string>

namespace zorvat {

namespace {

// Instrument error numbers reported by "$n" on a parameter read or write.
const char* DeviceStatusText(TResult code) {
    switch (code) {
        case 1:
            return "Обрыв в цепи датчика";
        case 2:
            return "Результат выходит за разрядную сетку";
        case 3:
            return "Не существующий номер канала";
        case 4:
            return "Ошибка чтения EEPROM";
        case 5:
            return "Ошибка записи EEPROM";
        case 6:
            return "Нет результата";
        case 8:
            return "Переполнение АЦП (верх)";
        case 9:
            return "АЦП завис";
        case 10:
            return "Неизвестна температура холодного спая";
        case 11:
            return "Ошибка контрольной суммы в АЦП";
        case 12:
            return "Ошибка измерения напряжения на входе АЦП";
        case 13:
            return "Переполнение АЦП (низ)";
        case 14:
            return "Неизвестный тип датчика";
        case 15:
            return "Ошибка данных EEPROM";
        case 16:
            return "Ошибочный номер параметра";
        case 17:
            return "Ошибочное значение параметра";
        case 18:
            return "Ошибка расчета тренда";
        case 19:
            return "Ошибка измерения опорных напряжений АЦП";
        case 20:
            return "Измеренное значение больше 32767";
        default:
            return nullptr;
    }
}

}  // namespace

bool ResultMessage(TResult code, std::string_view portName, std::string& message) {
    if (code == rc::Ok) return false;
    if (const char* text = DeviceStatusText(code)) {
        message = text;
        return true;
    }
    const std::string port(portName);
    switch (code) {
        case -1:
            message = "Error (не описанная или неизвестная)";
            break;
        case -2:
            message = "Ошибка в параметрах вызываемой функции";
            break;
        case -3:
            message = "Порт " + port + " уже открыт";
            break;
        case -4:
            message = "Порт " + port + " отсутствует";
            break;
        case -5:
            message = "Порт " + port + " занят другой программой.";
            break;
        case -6:
            message = "Порт " + port + " недоступен";
            break;
        case -7:
            message = "Невозможно определить настройки порта " + port;
            break;
        case -8:
            message = "Невозможно установить настройки порта " + port;
            break;
        case -9:
            message = "Порт " + port + " не был открыт";
            break;
        case -10:
            message = "Невозможно закрыть порт " + port;
            break;
        case -11:
            message = "Невозможно передать данные в порт " + port;
            break;
        case -12:
            message = "Ошибка при передаче данных в порт " + port;
            break;
        case -13:
            message = "Невозможно принять данные из порта " + port;
            break;
        case -14:
            message = "Прибор не подключён к порту (ошибка приёма данных из порта) " + port;
            break;
        case -15:
            message = "Неверная длина посылки";
            break;
        case -16:
            message = "Неверная структура посылки";
            break;
        case -17:
            message = "Неизвестный тип прибора";
            break;
        case -18:
            message = "Неверная команда ";
            break;
        case -19:
            message = "Ошибка контрольной суммы в ответе прибора";
            break;
        case -20:
            message = "Неверный адрес прибора в ответе";
            break;
        case -21:
            message = "Ошибочные полезные данные от прибора";
            break;
        case -22:
            message = "Прибор сообщает об ошибке";
            break;
        case -99:
            message = "Ошибка DLL - Указатель неопределен";
            break;
        case -400:
            message = "Прибор имеет неверную версию ПО. Работа с ним не возможна.";
            break;
        default:
            if (code <= -100 && code >= -355) {
                message = "Внутренняя ошибка прибора";
            } else {
                message = "Ошибка";
            }
            break;
    }
    return true;
}

std::string ResultText(TResult code, std::string_view portName) {
    std::string text;
    ResultMessage(code, portName, text);
    return text;
}

}  // namespace zorvat
