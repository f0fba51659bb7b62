#include "gui/form5.h"

#include "branch/pageclient.h"
#include "core/textutil.h"
#include "gui/platform/messagebox.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

namespace zjx {
namespace {

QLabel* namedLabel(QWidget* parent, const QString& name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    // Page text and messages are shown as they stand, never interpreted as markup.
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel* valueLabel(QWidget* parent, const QString& name) {
    QLabel* label = namedLabel(parent, name, Form5::notQueriedText());
    // A long value is cut at the window's edge instead of widening it; a click on Label10 shows more.
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->setMinimumHeight(24);
    return label;
}

} // namespace

Form5::Form5(const QString& branchHost, QWidget* parent) : QDialog(parent), m_branchHost(branchHost) {
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("网店信息查询"));

    auto* inputGroup = new QGroupBox(this);
    inputGroup->setObjectName(QStringLiteral("Frame1"));
    Label13 = namedLabel(inputGroup, QStringLiteral("Label13"), QStringLiteral("请输入您要查询的网点名称："));
    Text1 = new QLineEdit(inputGroup);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setAccessibleName(QStringLiteral("网点名称"));
    Command1 = new QPushButton(QStringLiteral("查询"), inputGroup);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setAutoDefault(false);
    Command1->setMinimumSize(72, 28);
    Text1->setMinimumHeight(26);
    auto* inputLayout = new QGridLayout(inputGroup);
    inputLayout->addWidget(Label13, 0, 0, 1, 2);
    inputLayout->addWidget(Text1, 1, 0);
    inputLayout->addWidget(Command1, 1, 1);
    inputLayout->setColumnStretch(0, 1);

    auto* resultGroup = new QGroupBox(this);
    resultGroup->setObjectName(QStringLiteral("Frame2"));
    Label1 = namedLabel(resultGroup, QStringLiteral("Label1"), QStringLiteral("网点名称："));
    Label2 = valueLabel(resultGroup, QStringLiteral("Label2"));
    Label3 = namedLabel(resultGroup, QStringLiteral("Label3"), QStringLiteral("负责人："));
    Label4 = valueLabel(resultGroup, QStringLiteral("Label4"));
    Label5 = namedLabel(resultGroup, QStringLiteral("Label5"), QStringLiteral("网点名称："));
    Label6 = valueLabel(resultGroup, QStringLiteral("Label6"));
    Label7 = namedLabel(resultGroup, QStringLiteral("Label7"), QStringLiteral("联系电话："));
    Label8 = valueLabel(resultGroup, QStringLiteral("Label8"));
    Label9 = namedLabel(resultGroup, QStringLiteral("Label9"), QStringLiteral("派送范围："));
    Label10 = valueLabel(resultGroup, QStringLiteral("Label10"));
    Label11 = namedLabel(resultGroup, QStringLiteral("Label11"), QStringLiteral("不派送范围："));
    Label12 = valueLabel(resultGroup, QStringLiteral("Label12"));
    Label10->setCursor(Qt::PointingHandCursor);
    Label10->installEventFilter(this);

    auto* rows = new QGridLayout(resultGroup);
    rows->setHorizontalSpacing(6);
    rows->addWidget(Label1, 0, 0);
    rows->addWidget(Label2, 0, 1);
    rows->addWidget(Label3, 0, 2);
    rows->addWidget(Label4, 0, 3);
    const std::array<std::pair<QLabel*, QLabel*>, 4> fullRows{
        {{Label5, Label6}, {Label7, Label8}, {Label9, Label10}, {Label11, Label12}}};
    for (int r = 0; r < int(fullRows.size()); ++r) {
        rows->addWidget(fullRows[r].first, r + 1, 0);
        rows->addWidget(fullRows[r].second, r + 1, 1, 1, 3);
    }
    for (QLabel* caption : {Label1, Label3, Label5, Label7, Label9, Label11})
        caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    rows->setColumnStretch(1, 1);
    rows->setColumnStretch(3, 1);

    S1 = new QStatusBar(this);
    S1->setObjectName(QStringLiteral("S1"));
    S1->setSizeGripEnabled(false);
    S1Panel1 = namedLabel(S1, QStringLiteral("S1Panel1"), QStringLiteral("申通快递网点查询"));
    S1Panel2 = namedLabel(S1, QStringLiteral("S1Panel2"), QStringLiteral("请输入要查询的网点名称"));
    // Sunken panels keep the two texts apart whatever the skin does to the bar itself.
    for (QLabel* panel : {S1Panel1, S1Panel2}) {
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setContentsMargins(4, 0, 4, 0);
    }
    S1Panel1->setMinimumWidth(130);
    S1->addWidget(S1Panel1);
    S1->addWidget(S1Panel2, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 8, 10, 0);
    layout->addWidget(inputGroup);
    layout->addWidget(resultGroup);
    layout->addWidget(S1);
    setFixedSize(480, sizeHint().height());

    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    // Enter in the name box searches as the button does (the window has no default button).
    connect(Text1, &QLineEdit::returnPressed, this, [this] { Command1_Click(); });
    Form_Load();
}

void Form5::Form_Load() {
    // An empty icon would fall back to the program's own; a blank one leaves the title bar bare.
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    setWindowIcon(QIcon(blank));
}

void Form5::csh() {
    for (QString& field : m_fields)
        field.clear();
}

void Form5::Form_QueryUnload(qint16& cancel) {
    Q_UNUSED(cancel);
    csh();
}

// Both the title bar's close and Escape end here (QDialog's close event rejects).
void Form5::reject() {
    qint16 cancel = 0;
    Form_QueryUnload(cancel);
    if (cancel != 0)
        return;
    m_unloaded = true;
    QDialog::reject();
}

void Form5::showEvent(QShowEvent* event) {
    m_unloaded = false;
    QDialog::showEvent(event);
}

void Form5::Command1_Click() {
    if (Text1->text().isEmpty()) {
        S1Panel2->setText(QStringLiteral("请输入您要查询的站点.."));
        return;
    }
    const QString address = branchQueryAddress(m_branchHost, branchNameValue(Text1->text()));
    // Each lookup writes the rows when its own page arrives, so the one that finishes last decides.
    GetBody(address, this, [this](const HttpResult& result) { showPage(result); });
}

void Form5::showPage(const HttpResult& result) {
    if (m_unloaded)
        return;
    if (!result.ok()) {
        // A page that never came is not a branch that does not exist: say what went wrong.
        m_pageText.clear();
        csh();
        resetRows(result.errorText);
        MessageBox::information(this, result.errorText);
        return;
    }
    m_pageText = result.body;
    m_fields = cutBranchPage(m_pageText);
    const QList<QLabel*> labels = valueLabels();
    // A value may be megabytes long: the row shows its start, the stored field keeps it whole.
    for (int i = 0; i < labels.size(); ++i)
        labels[i]->setText(readableText(m_fields[i]));
    if (m_fields[0].isEmpty()) {
        const QString notFound = QStringLiteral("您查询的网点不存在!");
        csh();
        resetRows(notFound);
        MessageBox::information(this, notFound);
    }
}

void Form5::resetRows(const QString& statusText) {
    for (QLabel* label : valueLabels())
        label->setText(notQueriedText());
    S1Panel2->setText(statusText);
}

QList<QLabel*> Form5::valueLabels() const {
    return {Label2, Label4, Label6, Label8, Label10, Label12};
}

void Form5::Label10_Click() {
    if (!m_fields[4].isEmpty())
        MessageBox::information(this, m_fields[4]);
}

bool Form5::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label10 && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && Label10->rect().contains(mouse->position().toPoint()))
            Label10_Click();
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace zjx
