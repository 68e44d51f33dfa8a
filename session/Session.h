// SPDX-License-Identifier: GPL-3.0-or-later
// The program's state behind its windows: what the main window shows (one Shown value and the A2
// flag), the card-file selection, the recording in memory, and the workflows that change them —
// monitor, start, stop, save or keep unfiled a recording, open a card-file recording, import a
// file — with the window title they give. No widgets and no message boxes: every step returns a
// Status the window turns into its message, and changed() tells the windows to follow.
//
// All methods are for the user-interface thread.
#pragma once

#include "cardfile/CardFile.h"
#include "device/Acquisition.h"
#include "formats/EcgFile.h"
#include "formats/Instrument.h"
#include "import/Decompress.h"
#include "session/CardSelection.h"
#include "signal/Recording.h"
#include "signal/Status.h"
#include "signal/View.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velkard::session {

class Session : public QObject {
    Q_OBJECT
public:
    // The wall clock the recording's date and time and the unfiled name's stamp are read from.
    using Clock = std::function<QDateTime()>;

    // workDir holds DATA_BASE; clock is the current local time when not given.
    explicit Session(std::filesystem::path workDir, Clock clock = {});
    ~Session() override;

    const std::filesystem::path& workDir() const { return workDir_; }

    // ---- what is shown ----
    const View& view() const { return view_; }
    Shown shown() const { return view_.shown; }
    // Nothing is shown any more (the memory window, a card file closed without a request).
    void showNothing();
    const CardSelection& selection() const { return selection_; }
    // The recording in memory: the opened card-file recording or the imported one.
    signal::RecordingBuffer& buffer() { return buffer_; }
    // The imported file's name and duration while the buffer holds an imported recording (the
    // name is empty otherwise).
    const QString& importedFileName() const { return importedFileName_; }
    int importedSeconds() const { return importedSeconds_; }
    // The window title: "Velkard", and whose ECG is shown — the patient with the recording's date
    // and time, the imported file, or the live sweep (`live`, the word in the interface language)
    // with the patient.
    QString title(const QString& live) const;
    // Whose ECG is shown, for the banner above the trace: the chosen patient while the live sweep
    // or one of their card-file recordings is shown; false otherwise (nothing, an imported file).
    bool showsPatient() const;
    // The patient's age in whole years on the shown recording's date (today while live); none
    // when the birth date does not read as a date or lies after that day.
    std::optional<int> patientAge() const;

    // ---- card file ----
    // Before the card-file window: no write request and no review any more. A rhythmogram shown
    // stays chosen, so a window closed without a request shows it again.
    void cardFileOpening();
    // The card-file window closed with this selection and choice: Write shows the live sweep,
    // Open a recording or rhythmogram; otherwise nothing is shown but a rhythmogram kept.
    void cardFileClosed(const CardSelection& selection, const CardFileChoice& choice);
    // Reads the chosen card-file recording into the buffer. On failure (code of signal::
    // loadRecording, message signal::kRecordingOpenError) the buffer is left as it was.
    Status openCardRecording();
    // Reads the chosen rhythmogram's bytes. On failure (message signal::kRecordingOpenError)
    // nothing is shown any more.
    Result<std::vector<std::uint8_t>> readCardRhythmogram();

    // ---- import ----
    // Import was chosen: the import view, whatever the file dialog brings.
    void importChosen();
    // Reads the file into the buffer (decompressing ".ecx", the kind from its name) and shows it:
    // an ECG as Imported, a rhythmogram as Rhythmogram. Ends a running acquisition first. On
    // failure (codes of import::importFile) buffer and view stay as they were.
    // Files of other systems (EDF, BDF, DICOM, SCP-ECG, HL7 aECG, GDF, WFDB: formats/EcgFile.h)
    // are read, resampled to 800 Hz and converted into the buffer; their leads and origin are
    // then given by importedForeign().
    import::ImportResult importFile(const std::filesystem::path& path);
    // What an imported file of another system held beside its samples (its leads' samples are
    // not kept here: the buffer holds the converted recording).
    struct ForeignImport {
        formats::EcgFile file; // patient, start, annotations, origin, notes; leads emptied
        formats::LeadSet present{};
        std::int64_t clipped = 0;
        std::vector<std::string> notes; // of the conversion
        std::filesystem::path path;
    };
    const std::optional<ForeignImport>& importedForeign() const { return foreign_; }
    // The leads the shown recording carries: those of an imported foreign file, or of a card-file
    // recording filed from one (its leads file), else all twelve.
    formats::LeadSet leadsShown() const;

    // ---- acquisition and recording ----
    // How the instrument is reached (before the first startMonitoring; a new port name takes effect
    // at the next one).
    void setLink(device::Acquisition::LinkFactory factory, std::string portName);
    // The engine, made by startMonitoring (null before).
    device::Acquisition* acquisition() { return acquisition_.get(); }
    // Monitoring for the patient chosen by Write. False when the instrument could not be
    // reached; the engine's events say why.
    bool startMonitoring();
    // The engine is monitoring, recording or halted (Stop must end it).
    bool acquisitionActive() const;
    // The engine is streaming (monitoring or recording).
    bool live() const;
    // Start: the recording goes into a private file of the card file, filed under its number only
    // at Save. DeviceNotFound (no instrument is streaming: nothing would be recorded), Busy (the
    // card file's lock is held elsewhere), CannotCreate (no file could be made: message names
    // it), Failed (the engine did not start recording: its events say why).
    Status startRecording();
    bool recordingStarted() const { return recordingStarted_; }
    // Seconds of ECG in the recording file: its whole blocks of half a second, to the nearest
    // second (a half counts up). What the counter shows and the entry's duration, so a silent
    // instrument adds nothing.
    int seconds() const;
    // The instrument went silent or was lost while recording: the engine has closed the file.
    bool recordingCutOff() const;
    // Stop: the engine stops; what was recorded waits for saveRecording or discardRecording.
    void stopAcquisition();
    // Something was recorded and awaits the question whether to save it. A recording that holds
    // no whole block is dropped here.
    bool recordingToSave();
    void discardRecording();
    // Files the recording under the patient's next number with the start date and time and the
    // counted seconds; the selection then names it. On failure (Busy, or the card file's code) the
    // file stays pending for keepUnfiledRecording.
    Result<int> saveRecording();
    // Moves the recording that was not filed to "<id>_unfiled_<date-time>.dat" beside the card
    // file and returns where it is (its old place when it cannot be moved).
    QString keepUnfiledRecording();
    // The recording is over (after Stop and its question).
    void endRecording() { recordingStarted_ = false; }
    // Exit: the engine closes the link (false when it could not); a recording under way is kept
    // unfiled, never filed and never lost.
    bool shutDown();

signals:
    // What is shown, the selection or the imported file changed: the title and the window follow.
    void changed();

private:
    void setView(View view);
    QDateTime now() const;

    std::filesystem::path workDir_;
    Clock clock_;
    View view_;
    CardSelection selection_;
    signal::RecordingBuffer buffer_;
    QString importedFileName_;
    int importedSeconds_ = 0;
    std::optional<ForeignImport> foreign_;
    std::optional<formats::LeadSet> cardLeads_; // of the card-file recording opened last

    device::Acquisition::LinkFactory linkFactory_;
    std::string portName_; // which port linkFactory_ reaches, to notice a change
    std::unique_ptr<device::Acquisition> acquisition_;
    bool recordingStarted_ = false;
    // Whether Start created the recording file; a file it could not create is not this recording.
    bool fileCreated_ = false;
    cardfile::PendingRecording pending_;
    QString startDate_;
    QString startTime_;
};

} // namespace velkard::session
