#include "gui/statusstrips.h"

#include "core/textutil.h"
#include "platform/environment.h"
#include "schedule/schedule.h"
#include "serviceconfig/serviceconfig.h"

#include <QLabel>
#include <algorithm>
#include <QLocale>

namespace zjx {
namespace {

const QColor purple(166, 0, 169);
const QColor white(255, 255, 255);
const QColor red(255, 0, 0);

// A plain area, not a frame: to a screen reader a frame is a window.
QWidget* purpleArea(QWidget* parent, const QRect& geometry) {
    auto* area = new QWidget(parent);
    area->setObjectName(QStringLiteral("purpleArea"));
    area->setGeometry(geometry);
    area->setAutoFillBackground(true);
    QPalette pal = area->palette();
    pal.setColor(QPalette::Window, purple);
    area->setPalette(pal);
    return area;
}

// Until the first answer says who answered: the configuration the own service was given.
QString configuredBackend() {
    if (Settings::trackingHostConfigured())
        return QString();
    ServiceConfigFile file;
    file.load(ServiceConfigFile::defaultPath());
    return file.settings().backend;
}

void setColour(QLabel* label, const QColor& colour) {
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, colour);
    label->setPalette(pal);
}

QLabel* whiteLabel(QWidget* parent, const QString& text, const QRect& geometry, const QString& objectName) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setGeometry(geometry);
    setColour(label, white);
    return label;
}

} // namespace

StatusStrips::StatusStrips(QWidget* window) : QObject(window) {
    // Beside the banner: the menu, the estimated delivery, and the state and verdict columns. The
    // estimate has a column of its own, wide enough for the longest range, between the menu and
    // the state; the strip grows to the left for it, where the banner's picture has ended.
    const int estimateWidth = std::clamp(
        window->fontMetrics().horizontalAdvance(QStringLiteral("预计送达 12月29日-12月31日")) + 12, 120, 190);
    const int columns = 146 + estimateWidth + 4; // where the state column starts
    const int stripWidth = columns + 139;
    m_statusArea = purpleArea(window, QRect(window->width() - stripWidth, 25, stripWidth, 57));
    m_labels[StateHeading] =
        whiteLabel(m_statusArea, QStringLiteral("快件状态"), QRect(columns, 8, 64, 20), QStringLiteral("stateHeading"));
    m_labels[VerdictHeading] = whiteLabel(m_statusArea, QStringLiteral("更新状态"), QRect(columns + 68, 8, 64, 20),
                                          QStringLiteral("verdictHeading"));
    m_labels[State] =
        whiteLabel(m_statusArea, QStringLiteral("未查询"), QRect(columns, 30, 64, 20), QStringLiteral("state"));
    m_labels[Verdict] =
        whiteLabel(m_statusArea, QStringLiteral("未查询"), QRect(columns + 68, 30, 64, 20), QStringLiteral("verdict"));
    for (Field field : {StateHeading, VerdictHeading, State, Verdict})
        m_labels[field]->setAlignment(Qt::AlignCenter);
    // The verdict turns red on purple: bold keeps it readable.
    QFont verdictFont = m_labels[Verdict]->font();
    verdictFont.setBold(true);
    m_labels[Verdict]->setFont(verdictFont);
    // "预计送达 12月9日-12月10日" when the service gives one, level with the menu.
    m_labels[Estimate] =
        whiteLabel(m_statusArea, QString(), QRect(146, 8, estimateWidth, 42), QStringLiteral("estimateLabel"));
    m_labels[Estimate]->setAlignment(Qt::AlignCenter);
    m_labels[Estimate]->setAccessibleDescription(QStringLiteral("预计送达"));

    // Free space of the status strip under the menu: who answered the parcel shown.
    QLabel* source = whiteLabel(m_statusArea, QString(), QRect(10, 41, 128, 15), QStringLiteral("dataSource"));
    // A value label: read as what it says, its caption as the description.
    source->setAccessibleDescription(QStringLiteral("数据来源"));
    QFont small = source->font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    source->setFont(small);
    m_labels[DataSource] = source;

    // The hint strip, inside the drawn frame's side edges (3 pixels) and bottom band (5 pixels).
    QWidget* hintArea = purpleArea(window, QRect(3, 432, window->width() - 6, window->height() - 432 - 5));
    const int y = 8;
    m_labels[HintCaption] =
        whiteLabel(hintArea, QStringLiteral("查询提示："), QRect(12, y, 72, 20), QStringLiteral("hintCaption"));
    m_labels[Hint] = whiteLabel(hintArea, QStringLiteral("程序检测更新中..."), QRect(84, y, 344, 20), QStringLiteral("hint"));
    m_labels[Version] = whiteLabel(hintArea, QStringLiteral("版本号"), QRect(432, y, 64, 20), QStringLiteral("version"));
    m_labels[Maker] = whiteLabel(hintArea, QStringLiteral("青檀坊出品"), QRect(498, y, 78, 20), QStringLiteral("maker"));
    m_labels[Clock] = whiteLabel(hintArea, QStringLiteral("Time"), QRect(580, y, 165, 20), QStringLiteral("clock"));
    m_labels[Clock]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Hints, names and notes the program did not write itself: never as markup.
    for (QLabel* label : m_labels)
        label->setTextFormat(Qt::PlainText);

    showDataSource(configuredBackend());
    m_clock.setInterval(1000);
    connect(&m_clock, &QTimer::timeout, this, &StatusStrips::showClock);
}

QString StatusStrips::text(Field field) const {
    return m_labels[field]->text();
}

void StatusStrips::setText(Field field, const QString& text) {
    m_labels[field]->setText(text);
}

QString StatusStrips::toolTip(Field field) const {
    return m_labels[field]->toolTip();
}

QColor StatusStrips::colour(Field field) const {
    return m_labels[field]->palette().color(QPalette::WindowText);
}

void StatusStrips::showVerdict(const QString& verdict, bool news) {
    m_labels[Verdict]->setText(verdict);
    setColour(m_labels[Verdict], news ? red : white);
}

void StatusStrips::showDataSource(const QString& backend) {
    m_labels[DataSource]->setText(backendCaption(backend));
    m_labels[DataSource]->setToolTip(backend == u"demo"
                                         ? QStringLiteral("演示数据:这些快递的物流信息都是虚构的。"
                                                          "要查询真实的快递,请在菜单的“查询服务设置”中选择服务商")
                                         : QString());
}

void StatusStrips::showConfiguredSource() {
    showDataSource(configuredBackend());
}

void StatusStrips::showServiceStopped(const QString& reason) {
    m_labels[DataSource]->setText(QStringLiteral("查询服务未运行"));
    m_labels[DataSource]->setToolTip(QStringLiteral("程序自带的查询服务没有运行,查询不到快递;原因见查询提示"));
    // The hint line cuts a long reason off: the whole of what the service said rests on it.
    // Escaped, because a tooltip would otherwise guess rich text from the service's words.
    m_labels[Hint]->setToolTip(QStringLiteral("<p style=\"white-space:pre-wrap\">") + reason.toHtmlEscaped() +
                               QStringLiteral("</p>"));
}

void StatusStrips::showServiceRunning() {
    m_labels[Hint]->setToolTip(QString());
    showConfiguredSource();
}

void StatusStrips::showEstimate(const QString& text) {
    m_labels[Estimate]->setText(text);
    m_labels[Estimate]->setAccessibleName(text); // a label that shows a value exposes the value
}

void StatusStrips::showClock() {
    m_labels[Clock]->setText(schedule::clockText(Clock::now(), QLocale::system()));
}

void StatusStrips::showGuess(const QString& hint) {
    if (m_guessHint.isEmpty() || text(Hint) != m_guessHint)
        m_hintBeforeGuess = text(Hint);
    setText(Hint, hint);
    m_guessHint = text(Hint);
}

void StatusStrips::withdrawGuess() {
    // A guess about a number that is gone must not stay in the hint line; whatever the line said
    // before the guess comes back. A hint written since by anything else stays.
    if (!m_guessHint.isEmpty() && text(Hint) == m_guessHint)
        setText(Hint, m_hintBeforeGuess);
    m_guessHint.clear();
}

void StatusStrips::bindHintToNumber() {
    m_numberHint = text(Hint);
}

void StatusStrips::numberEdited() {
    if (m_numberHint.isEmpty())
        return;
    if (text(Hint) == m_numberHint)
        setText(Hint, QString());
    if (m_hintBeforeGuess == m_numberHint)
        m_hintBeforeGuess.clear();
    m_numberHint.clear();
}

} // namespace zjx
