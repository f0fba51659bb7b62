#include "gui/servicesettings.h"

#include "core/catalogue.h"
#include "core/regularfile.h"
#include "gui/platform/messagebox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace zjx {

namespace {

QString u8(const char* s) {
    return QString::fromUtf8(s);
}

struct Backend {
    const char* word;
    const char* shown;
    const char* note; // where to get a key and what it costs, as the provider's documentation says
};

const Backend kBackends[] = {
    {"demo", "演示数据(虚构)",
     "演示数据:程序自带的查询服务编造每个单号的物流信息,不询问任何快递公司。要跟踪真实的快递,"
     "请选择一个查询服务商并填写它的密钥。"},
    {"kuaidi100", "快递100",
     "获取密钥:在 https://api.kuaidi100.com 注册企业账号并开通“实时快递查询”,授权信息页上有 customer 和 key。\n"
     "费用:可免费试用 100 单,之后按查询单量付费(以快递100控制台的价格为准);同一单号 30 分钟内只查询一次,以免被锁定。"},
    {"17track", "17TRACK",
     "获取密钥:在 https://api.17track.net 注册,控制台的设置中有安全密钥(key)。\n"
     "费用:免费试用额度 100 个单号,之后为按年付费的额度套餐;每个新单号第一次查询时消耗 1 个额度,每秒最多 3 次请求。"},
    {"kdniao", "快递鸟",
     "获取密钥:在 https://www.kdniao.com 注册并完成实名认证,用户中心有用户 ID(business_id)和 API key(app_key)。\n"
     "费用:即时查询(请求指令 1002)每日最多 500 次,不查询申通和天天(须 8001),顺丰只查得到经快递鸟下单的单号;"
     "8001 为付费的实时查询;百世快递两者都不查询。"},
};

QLabel* plainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

// A label that shows a value: with no accessible name of its own a screen reader reads its text;
// the caption says what the value is.
QLabel* valueLabel(const QString& caption, QWidget* parent) {
    QLabel* label = plainLabel(QString(), parent);
    label->setAccessibleDescription(caption);
    return label;
}

// The caption as a screen reader names the field: without its colon.
QString nameOf(const QString& caption) {
    return caption.endsWith(u':') ? caption.chopped(1) : caption;
}

void describe(QWidget* field, const QString& purpose) {
    field->setToolTip(purpose);
    field->setAccessibleDescription(purpose);
}

// The one key field serves kuaidi100 and 17TRACK, whichever is chosen.
QString keyPurpose(const QString& backend) {
    return backend == u"17track" ? u8("17TRACK 控制台中的安全密钥([17track] key)")
                                 : u8("快递100 授权信息页上的密钥([kuaidi100] key)");
}

int linesHigh(const QWidget* widget, int lines) {
    return widget->fontMetrics().lineSpacing() * lines + 4;
}

} // namespace

ServiceSettingsWindow::ServiceSettingsWindow(const QString& configPath, const QString& serviceProgram,
                                             const QString& externalHost, QWidget* parent)
    : QDialog(parent), m_configPath(configPath), m_serviceProgram(serviceProgram), m_readOnly(!externalHost.isEmpty()) {
    setObjectName(QStringLiteral("ServiceSettingsWindow"));
    setWindowTitle(u8("查询服务设置"));
    setAccessibleName(u8("查询服务设置"));
    build();
    connect(&m_check, &ServiceCheck::finished, this, &ServiceSettingsWindow::checkDone);
    keepSizeStill();

    if (m_readOnly) {
        m_status->setText(
            u8("查询服务由 ZJX_TRACKING_HOST 指定的 %1 提供,这些设置属于那个服务,这里只能查看。").arg(externalHost));
        for (QWidget* w : findChildren<QWidget*>())
            if (qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QSpinBox*>(w) ||
                qobject_cast<QPushButton*>(w) || qobject_cast<QCheckBox*>(w))
                w->setEnabled(false);
        m_backend->setCurrentIndex(-1);
        backendChosen();
        return;
    }
    QString error;
    if (!m_file.load(m_configPath, &error))
        m_status->setText(u8("无法读取 %1:%2").arg(m_configPath, error));
    else
        m_status->setText(u8("设置文件:%1").arg(m_configPath));
    showSettings(m_file.settings());
    m_savedSettings = settingsShown();
    showFileState();
}

void ServiceSettingsWindow::build() {
    auto* layout = new QVBoxLayout(this);
    // `purpose` says what the field is for, with its place in the file: its tooltip and what a
    // screen reader says of it.
    const auto row = [&](const QString& key, const QString& caption, QWidget* field, const QString& purpose,
                         const QString& explanation = {}) {
        auto* box = new QWidget(this);
        auto* rowLayout = new QVBoxLayout(box);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        rowLayout->setSpacing(2);
        auto* line = new QHBoxLayout;
        auto* label = plainLabel(caption, box);
        label->setWordWrap(false);
        label->setMinimumWidth(110);
        label->setBuddy(field);
        line->addWidget(label);
        line->addWidget(field, 1);
        rowLayout->addLayout(line);
        field->setAccessibleName(nameOf(caption));
        field->setObjectName(key);
        describe(field, purpose);
        if (!explanation.isEmpty()) {
            auto* note = plainLabel(explanation, box);
            note->setContentsMargins(114, 0, 0, 0);
            rowLayout->addWidget(note);
        }
        auto* problem = plainLabel(QString(), box);
        problem->setObjectName(key + QStringLiteral("_problem"));
        problem->setStyleSheet(QStringLiteral("color: #c00000"));
        problem->setContentsMargins(114, 0, 0, 0);
        problem->hide();
        rowLayout->addWidget(problem);
        m_problems.insert(key, problem);
        m_rows.insert(key, box);
        layout->addWidget(box);
    };

    // A file others may read stops the service: said first, with the way out.
    auto* fileLine = new QHBoxLayout;
    m_fileNotice = plainLabel(u8("设置文件的权限过宽,其他用户也能读取其中的密钥,查询服务因此没有启动。"
                                 "请按“修复”(只让您自己读取并重新启动查询服务),或修改后保存。"),
                              this);
    m_fileNotice->setObjectName(QStringLiteral("file_notice"));
    m_fileNotice->setStyleSheet(QStringLiteral("color: #c00000"));
    m_repairButton = new QPushButton(u8("修复"), this);
    fileLine->addWidget(m_fileNotice, 1);
    fileLine->addWidget(m_repairButton);
    layout->addLayout(fileLine);
    connect(m_repairButton, &QPushButton::clicked, this, &ServiceSettingsWindow::repairFile);

    m_backend = new QComboBox(this);
    for (const Backend& b : kBackends)
        m_backend->addItem(u8(b.shown), QString::fromLatin1(b.word));
    row(QStringLiteral("backend"), u8("查询服务:"), m_backend, u8("查询快递时询问的服务商([gateway] backend)"));
    m_providerNote = plainLabel(QString(), this);
    m_providerNote->setObjectName(QStringLiteral("provider_note"));
    m_providerNote->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_providerNote);

    m_customer = new QLineEdit(this);
    row(QStringLiteral("customer"), u8("授权码 customer:"), m_customer,
        u8("快递100 企业账号的授权码([kuaidi100] customer)"));
    m_key = new QLineEdit(this);
    m_key->setEchoMode(QLineEdit::Password);
    row(QStringLiteral("key"), u8("密钥 key:"), m_key, keyPurpose(QStringLiteral("kuaidi100")));
    m_businessId = new QLineEdit(this);
    row(QStringLiteral("business_id"), u8("用户 ID:"), m_businessId, u8("快递鸟用户中心的用户 ID([kdniao] business_id)"));
    m_appKey = new QLineEdit(this);
    m_appKey->setEchoMode(QLineEdit::Password);
    row(QStringLiteral("app_key"), u8("API key:"), m_appKey, u8("快递鸟用户中心的 API key([kdniao] app_key)"));
    m_requestType = new QComboBox(this);
    m_requestType->addItem(u8("1002 即时查询"), QStringLiteral("1002"));
    m_requestType->addItem(u8("8001 实时查询(付费)"), QStringLiteral("8001"));
    row(QStringLiteral("request_type"), u8("请求指令:"), m_requestType,
        u8("向快递鸟查询时用的指令:即时查询或实时查询([kdniao] request_type)"));
    m_showKeys = new QCheckBox(u8("显示密钥"), this);
    m_showKeys->setObjectName(QStringLiteral("show_keys"));
    layout->addWidget(m_showKeys);
    connect(m_showKeys, &QCheckBox::toggled, this, [this](bool show) {
        for (QLineEdit* e : {m_key, m_appKey})
            e->setEchoMode(show ? QLineEdit::Normal : QLineEdit::Password);
    });

    m_phoneTail = new QLineEdit(this);
    m_phoneTail->setMaxLength(4);
    row(QStringLiteral("phone_tail"), u8("手机尾号:"), m_phoneTail,
        u8("收件人或寄件人手机号码的后四位([gateway] phone_tail)"),
        u8("顺丰和中通查询时要求提供收件人或寄件人手机号码的后四位;不需要时留空。"));
    m_cacheMinutes = new QSpinBox(this);
    m_cacheMinutes->setRange(0, 100000);
    m_cacheMinutes->setSuffix(u8(" 分钟"));
    row(QStringLiteral("cache_minutes"), u8("缓存时间:"), m_cacheMinutes,
        u8("同一单号多少分钟内只向服务商查询一次([gateway] cache_minutes)"),
        u8("同一单号在这段时间内只向服务商查询一次。"));
    connect(m_backend, &QComboBox::currentIndexChanged, this, &ServiceSettingsWindow::backendChosen);

    // The check: one parcel asked once with the settings as shown, nothing saved.
    auto* checkLine = new QHBoxLayout;
    m_checkNumber = new QLineEdit(this);
    m_checkNumber->setObjectName(QStringLiteral("check_number"));
    m_checkNumber->setAccessibleName(u8("检查单号"));
    m_checkNumber->setPlaceholderText(u8("快递单号"));
    m_checkCompany = new QComboBox(this);
    m_checkCompany->setObjectName(QStringLiteral("check_company"));
    m_checkCompany->setAccessibleName(u8("检查单号的快递公司"));
    m_checkCompany->addItems(CourierCatalogue::displayNames());
    // 检查 is a paid query: Enter asks it only from the number box, never from another field.
    connect(m_checkNumber, &QLineEdit::returnPressed, this, &ServiceSettingsWindow::check);
    connect(m_checkNumber, &QLineEdit::textChanged, this, &ServiceSettingsWindow::checkNumberChanged);
    connect(m_checkCompany, &QComboBox::activated, this,
            [this] { m_checkGuess.pickedByHand(m_checkCompany->currentIndex()); });
    m_checkButton = new QPushButton(u8("检查"), this);
    m_cancelButton = new QPushButton(u8("取消"), this);
    m_cancelButton->hide();
    m_busy = new QProgressBar(this);
    m_busy->setRange(0, 0); // busy, without a known end
    m_busy->setMaximumWidth(80);
    m_busy->hide();
    QLabel* checkCaption = plainLabel(u8("检查单号:"), this);
    checkCaption->setBuddy(m_checkNumber);
    checkLine->addWidget(checkCaption);
    checkLine->addWidget(m_checkNumber, 2);
    checkLine->addWidget(m_checkCompany, 1);
    checkLine->addWidget(m_checkButton);
    checkLine->addWidget(m_busy);
    checkLine->addWidget(m_cancelButton);
    layout->addLayout(checkLine);
    // The result in Chinese; the service's and the provider's own words only on request. Both
    // have their room from the start, so a result never pushes the buttons away.
    auto* verdictLine = new QHBoxLayout;
    m_verdict = valueLabel(u8("检查结果"), this);
    m_verdict->setObjectName(QStringLiteral("verdict"));
    m_verdict->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_verdict->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_verdict->setFixedHeight(linesHigh(m_verdict, 3));
    m_detailToggle = new QPushButton(u8("详细信息"), this);
    m_detailToggle->setCheckable(true);
    m_detailToggle->setObjectName(QStringLiteral("detail_toggle"));
    verdictLine->addWidget(m_verdict, 1);
    verdictLine->addWidget(m_detailToggle, 0, Qt::AlignTop);
    layout->addLayout(verdictLine);
    m_detail = new QPlainTextEdit(this);
    m_detail->setObjectName(QStringLiteral("detail"));
    m_detail->setAccessibleName(u8("详细信息"));
    m_detail->setReadOnly(true);
    m_detail->setFixedHeight(linesHigh(m_detail, 3) + 2 * m_detail->frameWidth());
    layout->addWidget(m_detail);
    connect(m_detailToggle, &QPushButton::toggled, m_detail, &QWidget::setVisible);

    m_status = valueLabel(u8("状态"), this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setFixedHeight(linesHigh(m_status, 2));
    m_status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(m_status);
    layout->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_saveButton = new QPushButton(u8("保存"), this);
    auto* close = new QPushButton(u8("关闭"), this);
    buttons->addWidget(m_saveButton);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(m_checkButton, &QPushButton::clicked, this, &ServiceSettingsWindow::check);
    connect(m_cancelButton, &QPushButton::clicked, this, &ServiceSettingsWindow::cancelCheck);
    connect(m_saveButton, &QPushButton::clicked, this, [this] { save(); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    for (QPushButton* button : findChildren<QPushButton*>())
        button->setAutoDefault(false); // Enter in a field presses nothing
    showVerdict(QString());
}

void ServiceSettingsWindow::keepSizeStill() {
    // The largest the window needs: each provider's rows with every field's message, and the
    // check's details open. It keeps that size, so nothing it shows later moves 保存.
    setMinimumWidth(600);
    QSize largest = minimumSizeHint();
    const int shown = m_backend->currentIndex();
    m_detail->show();
    m_fileNotice->show();
    m_repairButton->show();
    for (int i = 0; i < m_backend->count(); ++i) {
        m_backend->setCurrentIndex(i);
        for (QLabel* problem : std::as_const(m_problems)) {
            problem->setText(u8("请填写"));
            problem->setVisible(problem->parentWidget()->isVisibleTo(this));
        }
        layout()->invalidate();
        layout()->activate();
        largest = largest.expandedTo(layout()->totalMinimumSize()).expandedTo(layout()->totalSizeHint());
    }
    m_backend->setCurrentIndex(shown);
    for (QLabel* problem : std::as_const(m_problems))
        problem->hide();
    m_detail->hide();
    m_fileNotice->hide();
    m_repairButton->hide();
    setMinimumSize(largest);
    resize(largest);
}

void ServiceSettingsWindow::showFileState() {
    const bool tooOpen = !m_readOnly && configTooOpen(m_configPath);
    m_fileNotice->setVisible(tooOpen);
    m_repairButton->setVisible(tooOpen);
}

void ServiceSettingsWindow::repairFile() {
    const RegularFileRead file = readRegularFile(m_configPath);
    if (!file.ok()) {
        m_status->setText(u8("无法读取 %1:%2").arg(m_configPath, file.problem));
        return;
    }
    const QByteArray bytes = file.bytes;
    if (const Result written = writePrivateFile(m_configPath, bytes); !written.ok()) {
        m_status->setText(u8("无法修复 %1:%2").arg(m_configPath, written.errorText()));
        return;
    }
    showFileState();
    m_status->setText(u8("已修复:设置文件现在只有您能读取。查询服务正在重新启动。"));
    m_file.setText(bytes);
    Q_EMIT saved(m_file.settings(), m_file.settings());
}

void ServiceSettingsWindow::showVerdict(const QString& text, const QString& detail) {
    m_verdict->setText(text);
    m_verdict->setToolTip(text);
    m_detail->setPlainText(detail);
    m_detailToggle->setVisible(!detail.isEmpty());
    m_detailToggle->setChecked(false);
    m_detail->hide();
}

void ServiceSettingsWindow::checkNumberChanged() {
    const CompanyGuess::Step step =
        m_checkGuess.numberChanged(m_checkNumber->text().trimmed(), m_checkCompany->currentIndex());
    if (step.changes && step.company >= 0)
        m_checkCompany->setCurrentIndex(step.company);
}

bool ServiceSettingsWindow::unsaved() const {
    return !m_readOnly && settingsShown() != m_savedSettings;
}

void ServiceSettingsWindow::reject() {
    if (unsaved()) {
        switch (MessageBox::questionWithCancel(this, u8("设置已更改,尚未保存。要保存吗?"))) {
        case MessageBox::Answer::Yes:
            if (!save())
                return;
            break;
        case MessageBox::Answer::No:
            break;
        default:
            return;
        }
    }
    cancelCheck();
    QDialog::reject();
}

void ServiceSettingsWindow::showSettings(const ServiceSettings& s) {
    m_kuaidi100Key = s.kuaidi100Key;
    m_track17Key = s.track17Key;
    m_customer->setText(s.kuaidi100Customer);
    m_businessId->setText(s.kdniaoBusinessId);
    m_appKey->setText(s.kdniaoAppKey);
    m_requestType->setCurrentIndex(std::max(0, m_requestType->findData(s.kdniaoRequestType)));
    m_phoneTail->setText(s.phoneTail);
    m_cacheMinutes->setValue(s.cacheMinutes);
    m_keyOwner.clear();
    const int index = m_backend->findData(s.backend);
    if (index == m_backend->currentIndex())
        backendChosen();
    else
        m_backend->setCurrentIndex(std::max(0, index));
}

void ServiceSettingsWindow::backendChosen() {
    const QString backend = m_backend->currentData().toString();
    // A result is about the provider it asked: another provider's fields make it meaningless.
    if (m_check.isRunning()) {
        m_check.cancel();
        setBusy(false);
    }
    showVerdict(QString());
    // The key field belongs to kuaidi100 or 17TRACK: the other's value waits in memory.
    if (m_keyOwner == u"kuaidi100")
        m_kuaidi100Key = m_key->text();
    else if (m_keyOwner == u"17track")
        m_track17Key = m_key->text();
    m_keyOwner = backend;
    m_key->setText(backend == u"17track" ? m_track17Key : m_kuaidi100Key);
    describe(m_key, keyPurpose(backend == u"17track" ? QStringLiteral("17track") : QStringLiteral("kuaidi100")));

    m_rows[QStringLiteral("customer")]->setVisible(backend == u"kuaidi100");
    m_rows[QStringLiteral("key")]->setVisible(backend == u"kuaidi100" || backend == u"17track");
    for (const char* key : {"business_id", "app_key", "request_type"})
        m_rows[QString::fromLatin1(key)]->setVisible(backend == u"kdniao");
    m_showKeys->setVisible(backend != u"demo" && !backend.isEmpty());
    m_rows[QStringLiteral("phone_tail")]->setVisible(backend != u"demo" && !backend.isEmpty());
    m_rows[QStringLiteral("cache_minutes")]->setVisible(backend != u"demo" && !backend.isEmpty());
    QString note;
    for (const Backend& b : kBackends)
        if (backend == QLatin1String(b.word))
            note = u8(b.note);
    m_providerNote->setText(note);
    for (QLabel* problem : std::as_const(m_problems))
        problem->hide();
}

ServiceSettings ServiceSettingsWindow::settingsShown() const {
    ServiceSettings s;
    s.backend = m_backend->currentData().toString();
    s.kuaidi100Customer = m_customer->text().trimmed();
    s.kuaidi100Key = (m_keyOwner == u"kuaidi100" ? m_key->text() : m_kuaidi100Key).trimmed();
    s.track17Key = (m_keyOwner == u"17track" ? m_key->text() : m_track17Key).trimmed();
    s.kdniaoBusinessId = m_businessId->text().trimmed();
    s.kdniaoAppKey = m_appKey->text().trimmed();
    s.kdniaoRequestType = m_requestType->currentData().toString();
    s.phoneTail = m_phoneTail->text().trimmed();
    s.cacheMinutes = m_cacheMinutes->value();
    return s;
}

void ServiceSettingsWindow::setCheckParcel(const QString& number, const QString& companyName) {
    m_checkNumber->setText(number);
    // The parcel's own company is the user's choice; without one the number's guess stands.
    if (const int index = m_checkCompany->findText(companyName); index >= 0) {
        m_checkCompany->setCurrentIndex(index);
        m_checkGuess.pickedByHand(index);
    }
}

bool ServiceSettingsWindow::showProblems(const QList<FieldProblem>& problems) {
    for (QLabel* problem : std::as_const(m_problems))
        problem->hide();
    for (const FieldProblem& p : problems)
        if (QLabel* label = m_problems.value(p.key)) {
            label->setText(p.message);
            label->show();
        }
    if (!problems.isEmpty())
        if (QWidget* field = findChild<QWidget*>(problems.first().key))
            field->setFocus();
    return problems.isEmpty();
}

void ServiceSettingsWindow::check() {
    if (m_readOnly || m_check.isRunning())
        return;
    const ServiceSettings shown = settingsShown();
    if (!showProblems(validate(shown)))
        return;
    const QString number = m_checkNumber->text().trimmed();
    if (number.isEmpty()) {
        showVerdict(u8("请输入要检查的快递单号"));
        m_checkNumber->setFocus();
        return;
    }
    // The file as it would be saved, its `url` lines and everything else included.
    ServiceConfigFile trial;
    QString error;
    trial.load(m_configPath, &error);
    trial.apply(shown);
    if (!m_check.start(m_serviceProgram, trial.text(), number, m_checkCompany->currentText(), &error)) {
        showVerdict(u8("检查未能开始"), error);
        return;
    }
    showVerdict(u8("正在询问服务商..."));
    setBusy(true);
}

void ServiceSettingsWindow::cancelCheck() {
    if (!m_check.isRunning())
        return;
    m_check.cancel();
    setBusy(false);
    showVerdict(u8("检查已取消"));
}

void ServiceSettingsWindow::checkDone(const CheckVerdict& verdict) {
    setBusy(false);
    QString text = verdict.text;
    const ServiceSettings shown = settingsShown();
    if (text == u8("该服务商不支持此快递公司") && shown.backend == u"kdniao" && shown.kdniaoRequestType == u"1002")
        text += u8("(快递鸟的请求指令 1002 不查询这家公司,可改用付费的 8001)");
    showVerdict(text, verdict.detail);
    Q_EMIT checkFinished(verdict);
}

void ServiceSettingsWindow::setBusy(bool busy) {
    m_busy->setVisible(busy);
    m_cancelButton->setVisible(busy);
    m_checkButton->setEnabled(!busy);
}

bool ServiceSettingsWindow::save() {
    if (m_readOnly)
        return false;
    const ServiceSettings shown = settingsShown();
    if (!showProblems(validate(shown))) {
        m_status->setText(u8("设置有误,未保存"));
        return false;
    }
    // Read again just before writing: a line the user added meanwhile is kept too.
    QString error;
    if (!m_file.load(m_configPath, &error)) {
        m_status->setText(u8("无法读取 %1:%2,未保存").arg(m_configPath, error));
        return false;
    }
    m_file.apply(shown);
    if (const Result written = writePrivateFile(m_configPath, m_file.text()); !written.ok()) {
        m_status->setText(u8("无法保存 %1:%2").arg(m_configPath, written.errorText()));
        return false;
    }
    m_status->setText(u8("已保存。查询服务正以新的设置重新启动。"));
    const ServiceSettings before = std::exchange(m_savedSettings, shown);
    showFileState();
    Q_EMIT saved(shown, before);
    return true;
}

QString ServiceSettingsWindow::verdictText() const {
    return m_verdict->text();
}

QString ServiceSettingsWindow::verdictDetail() const {
    return m_detail->toPlainText();
}

QString ServiceSettingsWindow::problemAt(const QString& key) const {
    const QLabel* label = m_problems.value(key);
    return label && !label->isHidden() ? label->text() : QString();
}

} // namespace zjx
