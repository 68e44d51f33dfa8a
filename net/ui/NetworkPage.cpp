// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/ui/NetworkPage.h"

#include "net/Dicom.h"
#include "ui/ProgressJob.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace velkard::net::ui {

namespace {

QString utf8(const std::string& s) {
    return QString::fromStdString(s);
}

std::string text(const QLineEdit* edit) {
    return edit->text().trimmed().toStdString();
}

NetworkPage::PeerControls makePeer(QWidget* parent, const char* name, bool dicom) {
    NetworkPage::PeerControls c{};
    c.box = new QGroupBox(parent);
    c.box->setObjectName(QString::fromLatin1(name) + "Box");
    auto* form = new QFormLayout(c.box);
    c.host = new QLineEdit(c.box);
    c.host->setObjectName(QString::fromLatin1(name) + "Host");
    c.port = new QSpinBox(c.box);
    c.port->setObjectName(QString::fromLatin1(name) + "Port");
    c.port->setRange(1, 65535);
    c.hostLabel = new QLabel(c.box);
    c.portLabel = new QLabel(c.box);
    form->addRow(c.hostLabel, c.host);
    form->addRow(c.portLabel, c.port);
    if (dicom) {
        c.aeTitle = new QLineEdit(c.box);
        c.aeTitle->setObjectName(QString::fromLatin1(name) + "AeTitle");
        c.aeTitle->setMaxLength(16);
        c.aeTitleLabel = new QLabel(c.box);
        form->addRow(c.aeTitleLabel, c.aeTitle);
    }
    c.tls = new QCheckBox(QStringLiteral("TLS"), c.box);
    c.tls->setObjectName(QString::fromLatin1(name) + "Tls");
    form->addRow(c.tls);
    return c;
}

void showPeer(const NetworkPage::PeerControls& c, const Peer& p) {
    c.host->setText(utf8(p.host));
    c.port->setValue(p.port > 0 ? p.port : 104);
    if (c.aeTitle)
        c.aeTitle->setText(utf8(p.aeTitle));
    c.tls->setChecked(p.tls);
}

Peer peerOf(const NetworkPage::PeerControls& c) {
    Peer p;
    p.host = text(c.host);
    p.port = c.port->value();
    if (c.aeTitle)
        p.aeTitle = text(c.aeTitle);
    p.tls = c.tls->isChecked();
    return p;
}

} // namespace

NetworkPage::NetworkPage(const velkard::ui::ViewState& state, velkard::ui::Seams seams,
                         std::filesystem::path workDir, QWidget* parent)
    : QWidget(parent), state_(state), seams_(seams), workDir_(std::move(workDir)) {
    setObjectName("networkPage");
    auto* own = new QFormLayout;
    aeTitleLabel = new QLabel(this);
    aeTitleEdit = new QLineEdit(this);
    aeTitleEdit->setObjectName("aeTitleEdit");
    aeTitleEdit->setMaxLength(16);
    stationLabel = new QLabel(this);
    stationEdit = new QLineEdit(this);
    stationEdit->setObjectName("stationEdit");
    stationEdit->setMaxLength(16);
    own->addRow(aeTitleLabel, aeTitleEdit);
    own->addRow(stationLabel, stationEdit);

    worklist = makePeer(this, "worklist", true);
    pacs = makePeer(this, "pacs", true);
    hl7 = makePeer(this, "hl7", false);
    auto* peers = new QHBoxLayout;
    peers->addWidget(worklist.box);
    peers->addWidget(pacs.box);
    peers->addWidget(hl7.box);

    auto* more = new QFormLayout;
    gdtLabel = new QLabel(this);
    gdtEdit = new QLineEdit(this);
    gdtEdit->setObjectName("gdtEdit");
    ordersLabel = new QLabel(this);
    ordersEdit = new QLineEdit(this);
    ordersEdit->setObjectName("hl7OrdersEdit");
    caLabel = new QLabel(this);
    caEdit = new QLineEdit(this);
    caEdit->setObjectName("caEdit");
    more->addRow(gdtLabel, gdtEdit);
    more->addRow(ordersLabel, ordersEdit);
    more->addRow(caLabel, caEdit);
    sendAfterSaveBox = new QCheckBox(this);
    sendAfterSaveBox->setObjectName("sendAfterSaveBox");
    sendAfterConfirmationBox = new QCheckBox(this);
    sendAfterConfirmationBox->setObjectName("sendAfterConfirmationBox");
    storageCommitmentBox = new QCheckBox(pacs.box);
    storageCommitmentBox->setObjectName("storageCommitmentBox");
    static_cast<QFormLayout*>(pacs.box->layout())->addRow(storageCommitmentBox);
    fetchLabel = new QLabel(pacs.box);
    fetchBox = new QComboBox(pacs.box);
    fetchBox->setObjectName("fetchBox");
    fetchBox->addItems({QStringLiteral("C-GET"), QStringLiteral("C-MOVE")});
    static_cast<QFormLayout*>(pacs.box->layout())->addRow(fetchLabel, fetchBox);
    storeScpBox = new QCheckBox(this);
    storeScpBox->setObjectName("storeScpBox");
    storeScpPort = new QSpinBox(this);
    storeScpPort->setObjectName("storeScpPort");
    storeScpPort->setRange(1, 65535);
    auto* listen = new QHBoxLayout;
    listen->addWidget(storeScpBox);
    listen->addWidget(storeScpPort);
    listen->addStretch();
    connect(storeScpBox, &QCheckBox::toggled, storeScpPort, &QWidget::setEnabled);
    echoButton = new QPushButton(this);
    echoButton->setObjectName("echoButton");
    echoButton->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(own);
    layout->addLayout(peers);
    layout->addLayout(more);
    layout->addWidget(sendAfterSaveBox);
    layout->addWidget(sendAfterConfirmationBox);
    layout->addLayout(listen);
    layout->addWidget(echoButton, 0, Qt::AlignLeft);
    layout->addStretch();
    connect(echoButton, &QPushButton::clicked, this, &NetworkPage::testConnection);

    auto settings = loadSettings(workDir_);
    if (settings)
        loaded_ = settings.value;
    else
        seams_.messages.show(utf8(settings.message),
                             velkard::ui::errorCaption(state_.interfaceLanguage()));
    aeTitleEdit->setText(utf8(loaded_.aeTitle));
    stationEdit->setText(utf8(loaded_.stationAeTitle));
    showPeer(worklist, loaded_.worklist);
    showPeer(pacs, loaded_.pacs);
    showPeer(hl7, loaded_.hl7);
    gdtEdit->setText(utf8(loaded_.gdtFolder));
    ordersEdit->setText(utf8(loaded_.hl7OrdersFolder));
    caEdit->setText(utf8(loaded_.tlsCaFile));
    sendAfterSaveBox->setChecked(loaded_.sendAfterSave);
    sendAfterConfirmationBox->setChecked(loaded_.sendAfterConfirmation);
    storageCommitmentBox->setChecked(loaded_.storageCommitment);
    fetchBox->setCurrentIndex(loaded_.archiveFetch == "move" ? 1 : 0);
    storeScpBox->setChecked(loaded_.storeScp);
    storeScpPort->setValue(loaded_.port);
    storeScpPort->setEnabled(loaded_.storeScp);
    applyLanguage(state_.interfaceLanguage());
}

QString NetworkPage::say(const char* source) const {
    return velkard::ui::translated<NetworkPage>(state_.interfaceLanguage(), source);
}

QString NetworkPage::title() const {
    return say(QT_TR_NOOP("Сеть"));
}

void NetworkPage::applyLanguage(velkard::ui::Language l) {
    const auto t = [l](const char* source) {
        return velkard::ui::translated<NetworkPage>(l, source);
    };
    aeTitleLabel->setText(t(QT_TR_NOOP("AE-титул рабочего места")));
    stationLabel->setText(t(QT_TR_NOOP("Станция в рабочем списке")));
    stationEdit->setPlaceholderText(t(QT_TR_NOOP("как AE-титул рабочего места")));
    worklist.box->setTitle(t(QT_TR_NOOP("Рабочий список")));
    pacs.box->setTitle(t(QT_TR_NOOP("Архив (PACS)")));
    hl7.box->setTitle(t(QT_TR_NOOP("Приёмник HL7")));
    for (const PeerControls* c : {&worklist, &pacs, &hl7}) {
        c->hostLabel->setText(t(QT_TR_NOOP("Адрес")));
        c->portLabel->setText(t(QT_TR_NOOP("Порт")));
        if (c->aeTitleLabel)
            c->aeTitleLabel->setText(t(QT_TR_NOOP("AE-титул")));
    }
    gdtLabel->setText(t(QT_TR_NOOP("Папка обмена GDT")));
    ordersLabel->setText(t(QT_TR_NOOP("Папка заказов HL7")));
    caLabel->setText(t(QT_TR_NOOP("Сертификат центра (TLS)")));
    sendAfterSaveBox->setText(t(QT_TR_NOOP("Отправлять ЭКГ после сохранения")));
    sendAfterConfirmationBox->setText(t(QT_TR_NOOP("Отправлять ЭКГ после подтверждения отчёта")));
    storageCommitmentBox->setText(
        t(QT_TR_NOOP("Запрашивать подтверждение хранения (Storage Commitment)")));
    storeScpBox->setText(t(QT_TR_NOOP("Принимать ассоциации на порту")));
    fetchLabel->setText(t(QT_TR_NOOP("Ранее снятые ЭКГ получать")));
    echoButton->setText(t(QT_TR_NOOP("Проверить связь")));
    // The tab's caption is this page's own: the dialog relabels only the tabs it made, and at a
    // language change it does so before its children.
    for (QWidget* up = parentWidget(); up; up = up->parentWidget())
        if (auto* tabs = qobject_cast<QTabWidget*>(up)) {
            if (const int i = tabs->indexOf(this); i >= 0)
                tabs->setTabText(i, t(QT_TR_NOOP("Сеть")));
            break;
        }
}

void NetworkPage::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        applyLanguage(velkard::ui::languageInUse());
    QWidget::changeEvent(event);
}

NetworkSettings NetworkPage::edited() const {
    NetworkSettings s = loaded_; // what the page does not show stays as it was
    s.aeTitle = text(aeTitleEdit);
    s.stationAeTitle = text(stationEdit);
    s.worklist = peerOf(worklist);
    s.pacs = peerOf(pacs);
    s.hl7 = peerOf(hl7);
    s.gdtFolder = text(gdtEdit);
    s.hl7OrdersFolder = text(ordersEdit);
    s.tlsCaFile = text(caEdit);
    s.sendAfterSave = sendAfterSaveBox->isChecked();
    s.sendAfterConfirmation = sendAfterConfirmationBox->isChecked();
    s.storageCommitment = storageCommitmentBox->isChecked();
    s.archiveFetch = fetchBox->currentIndex() == 1 ? "move" : "get";
    s.storeScp = storeScpBox->isChecked();
    s.port = storeScpPort->value();
    return s;
}

bool NetworkPage::checkAeTitles(const NetworkSettings& s) {
    const std::pair<const std::string*, const char*> titles[] = {
        {&s.aeTitle, QT_TR_NOOP("AE-титул рабочего места")},
        {&s.worklist.aeTitle, QT_TR_NOOP("Рабочий список")},
        {&s.pacs.aeTitle, QT_TR_NOOP("Архив (PACS)")}};
    for (const auto& [title, what] : titles) {
        // A peer not configured may keep an empty title.
        if (title->empty() && title != &s.aeTitle)
            continue;
        if (!validAeTitle(*title)) {
            seams_.messages.show(
                say(QT_TR_NOOP("%1: AE-титул — от 1 до 16 латинских букв, цифр и знаков без "
                               "«\\»"))
                    .arg(say(what)),
                velkard::ui::errorCaption(state_.interfaceLanguage()), this);
            return false;
        }
    }
    return true;
}

bool NetworkPage::save() {
    const NetworkSettings s = edited();
    if (!checkAeTitles(s))
        return false;
    if (Status saved = saveSettings(workDir_, s); !saved) {
        seams_.messages.show(utf8(saved.message),
                             velkard::ui::errorCaption(state_.interfaceLanguage()), this);
        return false;
    }
    loaded_ = s;
    return true;
}

void NetworkPage::testConnection() {
    const NetworkSettings s = edited();
    if (!checkAeTitles(s))
        return;
    struct Asked {
        const char* what;
        Peer peer;
        Status answer;
    };
    std::vector<Asked> asked;
    if (s.worklist.configured())
        asked.push_back({QT_TR_NOOP("Рабочий список"), s.worklist, {}});
    if (s.pacs.configured())
        asked.push_back({QT_TR_NOOP("Архив (PACS)"), s.pacs, {}});
    const QString caption = say(QT_TR_NOOP("Проверить связь"));
    if (asked.empty()) {
        seams_.messages.show(say(QT_TR_NOOP("Не задан ни сервер рабочего списка, ни архив")),
                             caption, this);
        return;
    }
    const velkard::ui::ProgressTexts texts{caption, say(QT_TR_NOOP("Проверка связи: %1 из %2…")),
                                           say(QT_TR_NOOP("Отмена"))};
    if (velkard::ui::runWithProgress(this, texts, [&](velkard::ui::JobProgress& progress) {
            for (std::size_t i = 0; i < asked.size() && !progress.cancelled(); ++i) {
                progress.report(static_cast<long long>(i), static_cast<long long>(asked.size()));
                asked[i].answer = echo(s, asked[i].peer);
            }
        }))
        return;
    QStringList lines;
    for (const Asked& a : asked)
        lines << say(a.what) + QStringLiteral(" (") + utf8(a.peer.host) + QStringLiteral(":") +
                     QString::number(a.peer.port) + QStringLiteral("): ") +
                     (a.answer ? say(QT_TR_NOOP("связь есть"))
                               : say(QT_TR_NOOP("нет связи")) + QStringLiteral(" — ") +
                                     utf8(a.answer.message));
    seams_.messages.show(lines.join(QLatin1Char('\n')), caption, this);
}

} // namespace velkard::net::ui
