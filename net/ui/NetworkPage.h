// SPDX-License-Identifier: GPL-3.0-or-later
// The Network tab of the parameters: this workstation's AE title, the worklist server, the
// archive (PACS) with its storage commitment, the own store SCP (switched on, its port), the HL7
// receiver, the GDT folder, TLS and whether a saved ECG is sent at once;
// "Проверить связь" asks the worklist server and the archive for a C-ECHO (on a worker thread)
// and says what came back. The settings are velkard-network.ini of the working folder.
#pragma once

#include "net/Settings.h"
#include "ui/Messages.h"
#include "ui/ViewState.h"

#include <QWidget>
#include <filesystem>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace velkard::net::ui {

class NetworkPage : public QWidget {
    Q_OBJECT
public:
    // Reads the settings of workDir; one that does not read is said through the messages and the
    // page starts from the defaults.
    NetworkPage(const velkard::ui::ViewState& state, velkard::ui::Seams seams,
                std::filesystem::path workDir, QWidget* parent = nullptr);

    void applyLanguage(velkard::ui::Language language);
    QString title() const; // the tab's caption

    struct PeerControls {
        QGroupBox* box;
        QLabel* hostLabel;
        QLabel* portLabel;
        QLabel* aeTitleLabel; // null for HL7
        QLineEdit* host;
        QSpinBox* port;
        QLineEdit* aeTitle; // null for HL7
        QCheckBox* tls;
    };
    QLabel* aeTitleLabel;
    QLineEdit* aeTitleEdit;
    QLabel* stationLabel;
    QLineEdit* stationEdit;
    PeerControls worklist, pacs, hl7;
    QLabel* gdtLabel;
    QLineEdit* gdtEdit;
    QLabel* ordersLabel;
    QLineEdit* ordersEdit;
    QLabel* caLabel;
    QLineEdit* caEdit;
    QCheckBox* sendAfterSaveBox;
    QCheckBox* sendAfterConfirmationBox;
    QCheckBox* storageCommitmentBox; // pacs.storage_commitment
    QLabel* fetchLabel;
    QComboBox* fetchBox; // archive.fetch: C-GET (0) or C-MOVE to the own store SCP (1)
    QCheckBox* storeScpBox; // store_scp.enabled: "Принимать ассоциации на порту"
    QSpinBox* storeScpPort;  // store_scp.port
    QPushButton* echoButton; // "Проверить связь"

    // The settings as the page shows them.
    NetworkSettings edited() const;
    // Writes them; false (and a message) when an AE title is not one DICOM takes or the file
    // could not be written.
    bool save();

public slots:
    // C-ECHO to the worklist server and the archive as the page shows them.
    void testConnection();

protected:
    void changeEvent(QEvent* event) override;

private:
    QString say(const char* source) const;
    bool checkAeTitles(const NetworkSettings& s);
    const velkard::ui::ViewState& state_;
    velkard::ui::Seams seams_;
    std::filesystem::path workDir_;
    NetworkSettings loaded_;
};

} // namespace velkard::net::ui
