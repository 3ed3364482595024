#include "settings_lists.h"

namespace zorvat {

const QStringList& SensorTypes() {
    static const QStringList items = {
        QStringLiteral("\"CU85\" - 50M(W=1,428)"),
        QStringLiteral("\"CU65\" - 50M(W=1,426)"),
        QStringLiteral("\"CU81\" - 100M(W=1,428)"),
        QStringLiteral("\"CU61\" - 100M(W=1,426)"),
        QStringLiteral("\"PtH5\" - 50П(W=1,391)"),
        QStringLiteral("\"PtH1\" - 100П(W=1,391)"),
        QStringLiteral("\"Ptb1\" - Pt100(W=1,385)"),
        QStringLiteral("\"ni1\"  - Ni100(W=1,617)"),
        QStringLiteral("\"Gr21\" - 46П(W=1,391)"),
        QStringLiteral("\"Gr23\" - 53М(W=1,426)"),
        QStringLiteral("\"tc.H\" - ТХА(K)"),
        QStringLiteral("\"tc.L\" - ТХК(L)"),
        QStringLiteral("\"tc.S\" - TПП(S)"),
        QStringLiteral("\"tc.r\" - TПП(R)"),
        QStringLiteral("\"tc.b\" - TПР(B)"),
        QStringLiteral("\"tc.A1\"- TBP(A-1)"),
        QStringLiteral("\"tc.A2\"- TBP(A-2)"),
        QStringLiteral("\"tc.A3\"- TBP(A-3)"),
        QStringLiteral("\"tc.J\" - ТЖК(J)"),
        QStringLiteral("\"tc.t\" - ТМК(T)"),
        QStringLiteral("\"tc.n\" - ТНН(N)"),
        QStringLiteral("\"tc.E\" - ТХКн(E)"),
        QStringLiteral("\"i05\"  - ток 0..5 mA"),
        QStringLiteral("\"i020\" - ток 0..20 mA"),
        QStringLiteral("\"i420\" - ток 4..20 mA"),
        QStringLiteral("\"U100\" - напряж. 0..100 mV"),
        QStringLiteral("\"U75\"  - напряж. 0..75 mV"),
        QStringLiteral("\"r320\" - сопр. 0..320 Om"),
    };
    return items;
}

const QStringList& CalcChannelFuncs() {
    static const QStringList items = {
        QStringLiteral("\"1-2\" - разность 1 и 2 каналов"),
        QStringLiteral("\"2-1\" - разность 2 и 1 каналов"),
        QStringLiteral(" \"AvEr\" - Среднее арифм."),
        QStringLiteral(" \"SU12\" - Сумма"),
        QStringLiteral(" \"1\" - повтор первого канала"),
        QStringLiteral(" \"2\" - повтор второго канала"),
    };
    return items;
}

const QStringList& DinFuncsTwoRegs() {
    static const QStringList items = {
        QStringLiteral("\"no\"-Отключено;"),
        QStringLiteral("\"Sp1.0\"-Останов рег. 1;"),
        QStringLiteral("\"Sp1.2\"-Останов рег. 1 и вкл. реле(rGd), закрывающих заслонку;"),
        QStringLiteral("\"Hnd1\"-Ручное управление рег. 1;"),
        QStringLiteral("\"inc1\"-Увеличение мощности рег. 1;"),
        QStringLiteral("\"dEc1\"-Уменьшение мощности рег. 1;"),
        QStringLiteral("\"Sp2.0\"-Останов рег. 2;"),
        QStringLiteral("\"Sp2.2\"-Останов рег. 2 и вкл. реле(rGd), закрывающих заслонку;"),
        QStringLiteral("\"Hnd2\"-Ручное управление рег. 2;"),
        QStringLiteral("\"inc2\"-Увеличение мощности рег. 2;"),
        QStringLiteral("\"dEc2\"- Уменьшение мощности рег. 2"),
    };
    return items;
}

const QStringList& DinFuncsOneReg() {
    static const QStringList items = DinFuncsTwoRegs().mid(0, 6);
    return items;
}

const QStringList& ConnectionSchemes() {
    static const QStringList items = {QStringLiteral("3х проводная"),
                                      QStringLiteral("2х проводная")};
    return items;
}

const QStringList& SqrtLinearisations() {
    // The last item's trailing blank is the instrument maker's; kept as shown.
    static const QStringList items = {QStringLiteral("Откл."), QStringLiteral("0.5%"),
                                      QStringLiteral("1%"), QStringLiteral("2%"),
                                      QStringLiteral("3% ")};
    return items;
}

const QStringList& SecondCalcs() {
    static const QStringList items = {QStringLiteral("Отключена"), QStringLiteral("Полиномиальная"),
                                      QStringLiteral("Кусочно -линейная")};
    return items;
}

}  // namespace zorvat
