#include "gui/branchwindow.h"

#include "branch/pageclient.h"
#include "core/textutil.h"
#include "gui/lookupwindow.h"
#include "gui/platform/messagebox.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
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

QLabel* valueLabel(QWidget* parent, const QString& name, const QString& caption) {
    QLabel* label = namedLabel(parent, name, BranchWindow::notQueriedText());
    // The label's name is the value it shows; its caption says what the value is.
    label->setAccessibleDescription(caption);
    // A long value is cut at the window's edge instead of widening it; a click on the delivery range shows more.
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->setMinimumHeight(24);
    return label;
}

} // namespace

BranchWindow::BranchWindow(const QString& branchHost, QWidget* parent) : QDialog(parent), m_branchHost(branchHost) {
    setObjectName(QStringLiteral("BranchWindow"));
    setWindowTitle(QStringLiteral("网店信息查询"));

    auto* inputGroup = new QGroupBox(this);
    inputGroup->setObjectName(QStringLiteral("nameGroup"));
    QLabel* prompt = namedLabel(inputGroup, QStringLiteral("prompt"), QStringLiteral("请输入您要查询的网点名称："));
    m_nameBox = new QLineEdit(inputGroup);
    m_nameBox->setObjectName(QStringLiteral("nameBox"));
    m_nameBox->setAccessibleName(QStringLiteral("网点名称"));
    auto* lookUpButton = new QPushButton(QStringLiteral("查询"), inputGroup);
    lookUpButton->setObjectName(QStringLiteral("lookUpButton"));
    lookUpButton->setAutoDefault(false);
    lookUpButton->setMinimumSize(72, 28);
    m_nameBox->setMinimumHeight(26);
    auto* inputLayout = new QGridLayout(inputGroup);
    inputLayout->addWidget(prompt, 0, 0, 1, 2);
    inputLayout->addWidget(m_nameBox, 1, 0);
    inputLayout->addWidget(lookUpButton, 1, 1);
    inputLayout->setColumnStretch(0, 1);

    auto* resultGroup = new QGroupBox(this);
    resultGroup->setObjectName(QStringLiteral("resultGroup"));
    const std::array<std::pair<const char*, QString>, 6> rowNames{{{"branchName", QStringLiteral("网点名称：")},
                                                                    {"manager", QStringLiteral("负责人：")},
                                                                    {"fullName", QStringLiteral("网点名称：")},
                                                                    {"phone", QStringLiteral("联系电话：")},
                                                                    {"deliveryRange", QStringLiteral("派送范围：")},
                                                                    {"excludedRange", QStringLiteral("不派送范围：")}}};
    std::array<QLabel*, 6> captions{};
    for (int i = 0; i < int(rowNames.size()); ++i) {
        const QString name = QString::fromLatin1(rowNames[i].first);
        captions[i] = namedLabel(resultGroup, name + QStringLiteral("Caption"), rowNames[i].second);
        captions[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_values[i] = valueLabel(resultGroup, name, rowNames[i].second);
    }
    QLabel* range = m_values[4];
    range->setCursor(Qt::PointingHandCursor);
    range->installEventFilter(this);

    auto* rows = new QGridLayout(resultGroup);
    rows->setHorizontalSpacing(6);
    rows->addWidget(captions[0], 0, 0);
    rows->addWidget(m_values[0], 0, 1);
    rows->addWidget(captions[1], 0, 2);
    rows->addWidget(m_values[1], 0, 3);
    for (int r = 2; r < int(m_values.size()); ++r) {
        rows->addWidget(captions[r], r - 1, 0);
        rows->addWidget(m_values[r], r - 1, 1, 1, 3);
    }
    rows->setColumnStretch(1, 1);
    rows->setColumnStretch(3, 1);

    auto* statusBar = new QStatusBar(this);
    statusBar->setObjectName(QStringLiteral("statusBar"));
    statusBar->setSizeGripEnabled(false);
    QLabel* titlePanel = namedLabel(statusBar, QStringLiteral("titlePanel"), QStringLiteral("申通快递网点查询"));
    m_statusPanel = namedLabel(statusBar, QStringLiteral("statusPanel"), QStringLiteral("请输入要查询的网点名称"));
    // Sunken panels keep the two texts apart whatever the skin does to the bar itself.
    for (QLabel* panel : {titlePanel, m_statusPanel}) {
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setContentsMargins(4, 0, 4, 0);
    }
    titlePanel->setMinimumWidth(130);
    statusBar->addWidget(titlePanel);
    statusBar->addWidget(m_statusPanel, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 8, 10, 0);
    layout->addWidget(inputGroup);
    layout->addWidget(resultGroup);
    layout->addWidget(statusBar);
    setFixedSize(480, sizeHint().height());

    lookupwindow::searchFrom(this, m_nameBox, lookUpButton, &BranchWindow::lookUp);
    lookupwindow::bareTitleBar(this);
}

void BranchWindow::forgetFields() {
    for (QString& field : m_fields)
        field.clear();
}

// Both the title bar's close and Escape end here (QDialog's close event rejects).
void BranchWindow::reject() {
    forgetFields();
    m_unloaded = true;
    QDialog::reject();
}

void BranchWindow::showEvent(QShowEvent* event) {
    m_unloaded = false;
    QDialog::showEvent(event);
}

QStringList BranchWindow::shownValues() const {
    QStringList values;
    for (const QLabel* label : m_values)
        values << label->text();
    return values;
}

QString BranchWindow::statusText() const {
    return m_statusPanel->text();
}

void BranchWindow::lookUp() {
    if (m_nameBox->text().isEmpty()) {
        m_statusPanel->setText(QStringLiteral("请输入您要查询的站点.."));
        return;
    }
    const QString address = branchQueryAddress(m_branchHost, branchNameValue(m_nameBox->text()));
    // Each lookup writes the rows when its own page arrives, so the one that finishes last decides.
    GetBody(address, this, [this](const HttpResult& result) { showPage(result); });
}

void BranchWindow::showPage(const HttpResult& result) {
    if (m_unloaded)
        return;
    if (!result.ok()) {
        // A page that never came is not a branch that does not exist: say what went wrong.
        m_pageText.clear();
        forgetFields();
        resetRows(result.errorText);
        MessageBox::information(this, result.errorText);
        return;
    }
    m_pageText = result.body;
    m_fields = cutBranchPage(m_pageText);
        // A value may be megabytes long: the row shows its start, the stored field keeps it whole.
    for (int i = 0; i < int(m_values.size()); ++i)
        m_values[i]->setText(readableText(m_fields[i]));
    if (m_fields[0].isEmpty()) {
        const QString notFound = QStringLiteral("您查询的网点不存在!");
        forgetFields();
        resetRows(notFound);
        MessageBox::information(this, notFound);
    }
}

void BranchWindow::resetRows(const QString& statusText) {
    for (QLabel* label : m_values)
        label->setText(notQueriedText());
    m_statusPanel->setText(statusText);
}

void BranchWindow::showWholeRange() {
    if (!m_fields[4].isEmpty())
        MessageBox::information(this, m_fields[4]);
}

bool BranchWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_values[4] && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && m_values[4]->rect().contains(mouse->position().toPoint()))
            showWholeRange();
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace zjx
