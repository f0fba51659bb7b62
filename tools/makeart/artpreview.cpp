// Renders a mock of the main window as the program paints it (frame pieces, title buttons, banner,
// purple strips, command row, list and two floating panels) with a skin file applied, and saves it.
// Run it under QT_SCALE_FACTOR=2 to see the @2x pictures.
//
//   QT_QPA_PLATFORM=offscreen [QT_SCALE_FACTOR=2] artpreview <skinh.she> <out.png> [panels] [hover|pressed]
//
// "panels" opens the add and settings panels over the list; "hover" lights the minimise button and
// presses the close button, "pressed" the reverse.
#include "assets/art.h"
#include "palette.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>
#include <cstdio>
#include <utility>

namespace {

class MockWindow : public QWidget {
public:
    QString buttonState;

    MockWindow() {
        setFixedSize(753, 473);
        setAutoFillBackground(true);
        QPalette pal = palette();
        pal.setColor(QPalette::Window, Qt::white);
        setPalette(pal);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        const qreal dpr = devicePixelRatioF();
        const QPixmap frame = zjx::art::pixmap(QStringLiteral("frame"), dpr);
        const QPixmap sprite = zjx::art::pixmap(QStringLiteral("buttons"), dpr);
        const QPixmap banner = zjx::art::pixmap(QStringLiteral("banner"), dpr);
        const int W = width(), H = height();
        QPainter p(this);
        zjx::art::drawPiece(p, {0, 0, 6, 88}, frame, {0, 0, 6, 88});
        zjx::art::drawPiece(p, {6, 0, W - 12, 88}, frame, {6, 0, 1, 88});
        zjx::art::drawPiece(p, {W - 6, 0, 6, 88}, frame, {7, 0, 6, 88});
        zjx::art::drawPiece(p, {0, 68, 3, H - 73}, frame, {0, 68, 3, 28});
        zjx::art::drawPiece(p, {W - 3, 68, 3, H - 73}, frame, {10, 68, 3, 28});
        zjx::art::drawPiece(p, {0, H - 5, 6, 5}, frame, {0, 96, 6, 5});
        zjx::art::drawPiece(p, {6, H - 5, W - 12, 5}, frame, {6, 96, 1, 5});
        zjx::art::drawPiece(p, {W - 6, H - 5, 6, 5}, frame, {7, 96, 6, 5});
        const int minY = buttonState == u"hover" ? 21 : buttonState == u"pressed" ? 41 : 0;
        const int closeY = buttonState == u"hover" ? 42 : buttonState == u"pressed" ? 21 : 0;
        zjx::art::drawPiece(p, {W - 80, 2, 29, 20}, sprite, {0, minY, 29, 20});
        zjx::art::drawPiece(p, {W - 51, 2, 41, 20}, sprite, {29, closeY, 41, 20});
        p.drawPixmap(QPointF(10, 12), banner);
    }
};

QFrame* purpleArea(QWidget* parent, const QRect& r) {
    auto* w = new QFrame(parent);
    w->setGeometry(r);
    w->setAutoFillBackground(true);
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, art::purple);
    w->setPalette(pal);
    return w;
}

QLabel* label(QWidget* parent, const QString& text, const QRect& r, const QColor& colour = QColor()) {
    auto* l = new QLabel(text, parent);
    l->setGeometry(r);
    if (colour.isValid()) {
        QPalette pal = l->palette();
        pal.setColor(QPalette::WindowText, colour);
        l->setPalette(pal);
    }
    return l;
}

QComboBox* combo(QWidget* parent, const QStringList& items, const QRect& r, bool editable = false) {
    auto* c = new QComboBox(parent);
    c->setEditable(editable);
    c->addItems(items);
    c->setGeometry(r);
    return c;
}

QPushButton* button(QWidget* parent, const QString& text, const QRect& r, bool enabled = true) {
    auto* b = new QPushButton(text, parent);
    b->setGeometry(r);
    b->setEnabled(enabled);
    return b;
}

QFrame* panel(QWidget* parent, const QString& name, const QString& title, const QRect& r) {
    auto* f = new QFrame(parent);
    f->setObjectName(name);
    f->setFrameShape(QFrame::StyledPanel);
    f->setFrameShadow(QFrame::Raised);
    f->setAutoFillBackground(true);
    f->setGeometry(r);
    QLabel* t = label(f, title, {10, 6, 200, 22});
    QFont bold = t->font();
    bold.setBold(true);
    t->setFont(bold);
    auto* close = new QLabel(f);
    close->setPixmap(zjx::art::pixmap(QStringLiteral("panelclose"), parent->devicePixelRatioF()));
    close->setAlignment(Qt::AlignCenter);
    close->setGeometry(r.width() - 26, 6, 18, 18);
    return f;
}

void report(const char* name) {
    const QPixmap plain(QStringLiteral(":/art/%1.png").arg(QLatin1String(name)));
    const QPixmap chosen = zjx::art::pixmap(QLatin1String(name), qApp->devicePixelRatio());
    std::printf("%-10s QPixmap(\":/art/%s.png\") %dx%d ratio %.1f; art::pixmap %dx%d ratio %.1f\n", name, name,
                plain.width(), plain.height(), plain.devicePixelRatio(), chosen.width(), chosen.height(),
                chosen.devicePixelRatio());
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: artpreview <skinh.she> <out.png> [panels] [hover|pressed]\n");
        return 2;
    }
    QFile skin(QString::fromLocal8Bit(argv[1]));
    if (!skin.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const QString sheet = QString::fromUtf8(skin.readAll());
    for (const char* n : {"frame", "buttons", "banner", "panelclose"})
        report(n);

    MockWindow w;
    bool panels = false;
    for (int i = 3; i < argc; ++i) {
        if (qstrcmp(argv[i], "panels") == 0)
            panels = true;
        else
            w.buttonState = QString::fromLatin1(argv[i]);
    }
    w.setStyleSheet(sheet); // the program puts its skin on the main window

    QFrame* status = purpleArea(&w, {464, 25, 289, 57});
    combo(status, {QStringLiteral("网点信息查询")}, {8, 15, 130, 26})->setCurrentIndex(-1);
    for (auto [text, r] : {std::pair{"快件状态", QRect(150, 8, 64, 20)},
                           {"更新状态", QRect(218, 8, 64, 20)},
                           {"运送中", QRect(150, 30, 64, 20)}}) {
        label(status, QString::fromUtf8(text), r, Qt::white)->setAlignment(Qt::AlignCenter);
    }
    label(status, QStringLiteral("有更新"), {218, 30, 64, 20}, Qt::red)->setAlignment(Qt::AlignCenter);

    combo(&w, {QStringLiteral("外婆的茶叶"), QStringLiteral("新键盘")}, {16, 108, 281, 26});
    int x = 312;
    for (const char* t : {"操作", "清空", "添加", "导出", "设置"}) {
        button(&w, QString::fromUtf8(t), {x, 104, 73, 33});
        x += 88;
    }

    auto* list = new QTreeWidget(&w);
    list->setObjectName(QStringLiteral("ListView1"));
    list->setGeometry(16, 152, 721, 265);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setHeaderLabels(
        {QStringLiteral("Num"), QStringLiteral("时间"), QStringLiteral("物流进度 ( 双击列表可复制单条物流进度 )")});
    list->header()->setSectionResizeMode(QHeaderView::Fixed);
    list->header()->setStretchLastSection(false);
    list->setColumnWidth(0, 60);
    list->setColumnWidth(1, 130);
    list->setColumnWidth(2, 500);
    const char* rows[][2] = {
        {"2024-05-18 09:12:40", "【杭州市】快件已由【西湖区文三路驿站】代收，请及时取件"},
        {"2024-05-18 07:55:03", "【杭州市】快递员 张师傅 正在派件（电话 138****2270）"},
        {"2024-05-17 22:31:17", "【杭州市】快件已到达【杭州转运中心】"},
        {"2024-05-17 06:02:51", "【广州市】快件已发往【杭州转运中心】"},
        {"2024-05-16 19:44:09", "【广州市】商家已揽件"},
    };
    int n = 1;
    for (const auto& r : rows) {
        auto* item = new QTreeWidgetItem(list, {QString::number(n), QString::fromUtf8(r[0]), QString::fromUtf8(r[1])});
        if (n == 1)
            for (int c = 0; c < 3; ++c)
                item->setForeground(c, QColor(255, 0, 0));
        ++n;
    }
    list->topLevelItem(2)->setSelected(true);

    QFrame* hints = purpleArea(&w, {0, 432, 753, 41});
    label(hints, QStringLiteral("查询提示："), {12, 10, 72, 20}, Qt::white);
    label(hints, QStringLiteral("查询完毕..."), {84, 10, 344, 20}, Qt::white);
    label(hints, QStringLiteral("1.2.345"), {432, 10, 64, 20}, Qt::white);
    label(hints, QStringLiteral("青檀坊出品"), {498, 10, 78, 20}, Qt::white);
    label(hints, QStringLiteral("2024-05-18 09:30:12"), {580, 10, 165, 20}, Qt::white)
        ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    // The add panel and the settings panel, laid out as the program lays them out.
    QFrame* add = panel(&w, QStringLiteral("Picture3"), QStringLiteral("添加新快递"), {20, 150, 380, 222});
    label(add, QStringLiteral("快递单号："), {16, 42, 76, 26});
    combo(add, {QStringLiteral("773012345678")}, {92, 42, 270, 26}, true);
    label(add, QStringLiteral("快递公司："), {16, 78, 76, 26});
    combo(add, {QStringLiteral("申通快递")}, {92, 78, 180, 26});
    button(add, QStringLiteral("快捷搜索"), {280, 76, 82, 30});
    label(add, QStringLiteral("快递备注："), {16, 114, 76, 26});
    (new QLineEdit(QStringLiteral("外婆的茶叶"), add))->setGeometry(92, 114, 270, 26);
    auto* check = new QCheckBox(QStringLiteral("是否添加后自动关闭本页,如需继续添加请取消勾选"), add);
    check->setGeometry(16, 148, 350, 22);
    check->setChecked(true);
    QPushButton* query = button(add, QStringLiteral("开始查询"), {16, 178, 346, 32});

    QFrame* settings = panel(&w, QStringLiteral("Picture4"), QStringLiteral("相关设置"), {410, 176, 340, 156});
    auto* timed = new QGroupBox(QStringLiteral("定时查询功能"), settings);
    timed->setGeometry(12, 36, 316, 108);
    label(timed, QStringLiteral("请设定时间："), {12, 30, 84, 26});
    combo(timed, {QStringLiteral("8")}, {98, 30, 70, 26});
    label(timed, QStringLiteral("时"), {172, 30, 18, 26});
    combo(timed, {QStringLiteral("30")}, {194, 30, 70, 26})->setEnabled(false);
    label(timed, QStringLiteral("分"), {268, 30, 18, 26});
    button(timed, QStringLiteral("开始定时"), {12, 66, 292, 32}, false);
    button(timed, QStringLiteral("循环查询"), {226, 0, 78, 22});

    add->setVisible(panels);
    settings->setVisible(panels);
    w.show();
    if (panels)
        query->setFocus();
    else
        list->setFocus();
    const QPixmap shot = w.grab();
    std::printf("preview %dx%d pixels (devicePixelRatio %.1f)\n", shot.width(), shot.height(), shot.devicePixelRatio());
    return shot.save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
