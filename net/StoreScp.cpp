// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/StoreScp.h"

#include "net/Outbox.h"
#include "signal/FileIo.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>
#include <dcmtk/dcmnet/scp.h>
#include <dcmtk/dcmtls/tlslayer.h>
#include <dcmtk/oflog/oflog.h>

#include <cstdio>
#include <cstring>
#include <mutex>

namespace velkard::net {

namespace {

std::string trimmed(const OFString& s) {
    std::string t = s.c_str();
    while (!t.empty() && t.back() == ' ')
        t.pop_back();
    while (!t.empty() && t.front() == ' ')
        t.erase(t.begin());
    return t;
}

bool ecgOrPdf(const std::string& cls) {
    return cls == UID_TwelveLeadECGWaveformStorage || cls == UID_GeneralECGWaveformStorage ||
           cls == UID_EncapsulatedPDFStorage;
}

} // namespace

class StoreScp::Listener : public DcmSCP {
public:
    Listener(const NetworkSettings& settings, std::filesystem::path workDir,
             std::atomic<bool>& stop, std::atomic<int>& reports, std::atomic<int>& stored,
             std::function<void()> reported)
        : settings_(settings), workDir_(std::move(workDir)), stop_(stop), reports_(reports),
          stored_(stored), reported_(std::move(reported)) {}

protected:
    OFBool checkCalledAETitleAccepted(const OFString& called) override {
        return trimmed(called) == settings_.aeTitle;
    }
    // Only the archive and the worklist server may call.
    OFBool checkCallingAETitleAccepted(const OFString& calling) override {
        const std::string t = trimmed(calling);
        return !t.empty() && ((settings_.pacs.configured() && t == settings_.pacs.aeTitle) ||
                              (settings_.worklist.configured() && t == settings_.worklist.aeTitle));
    }
    OFBool stopAfterConnectionTimeout() override { return stop_.load(); }
    OFBool stopAfterCurrentAssociation() override { return stop_.load(); }

    OFCondition handleIncomingCommand(T_DIMSE_Message* message,
                                      const DcmPresentationContextInfo& context) override {
        const T_ASC_PresentationContextID id = context.presentationContextID;
        if (message->CommandField == DIMSE_C_STORE_RQ) {
            T_DIMSE_C_StoreRQ& request = message->msg.CStoreRQ;
            DcmDataset* dataset = nullptr;
            OFCondition c = receiveSTORERequest(request, id, dataset);
            std::unique_ptr<DcmDataset> owned(dataset);
            if (c.bad())
                return c;
            return sendSTOREResponse(id, request, keep(owned.get()));
        }
        if (message->CommandField == DIMSE_N_EVENT_REPORT_RQ) {
            DcmDataset* dataset = nullptr;
            Uint16 eventType = 0;
            OFCondition c =
                handleEVENTREPORTRequest(message->msg.NEventReportRQ, id, dataset, eventType);
            delete dataset;
            return c;
        }
        return DcmSCP::handleIncomingCommand(message, context);
    }

    // Called before the answer to the archive's report: the report is kept first, so a report
    // answered with success is never lost.
    Uint16 checkEVENTREPORTRequest(T_DIMSE_N_EventReportRQ& request, DcmDataset* dataset) override {
        if (std::strcmp(request.AffectedSOPClassUID, UID_StorageCommitmentPushModelSOPClass) != 0)
            return STATUS_N_NoSuchSOPClass;
        if (request.EventTypeID != 1 && request.EventTypeID != 2)
            return STATUS_N_NoSuchEventType;
        if (!dataset)
            return STATUS_N_InvalidArgumentValue;
        const CommitmentReport report = commitmentReportOf(*dataset, request.EventTypeID);
        if (!validUid(report.transactionUid))
            return STATUS_N_InvalidArgumentValue;
        if (!Outbox(workDir_).keepReport(report))
            return STATUS_N_ProcessingFailure;
        ++reports_;
        if (reported_)
            reported_();
        return STATUS_Success;
    }

private:
    // An ECG waveform or a PDF into archive-cache/<study UID>/NNNN.dcm.
    Uint16 keep(DcmDataset* dataset) {
        OFString cls, study;
        if (!dataset || dataset->findAndGetOFString(DCM_SOPClassUID, cls).bad() ||
            dataset->findAndGetOFString(DCM_StudyInstanceUID, study).bad())
            return STATUS_STORE_Error_CannotUnderstand;
        if (!ecgOrPdf(cls.c_str()))
            return STATUS_STORE_Refused_SOPClassNotSupported;
        if (!validUid(study.c_str()))
            return STATUS_STORE_Error_CannotUnderstand;
        const auto folder = workDir_ / kArchiveCacheFolder / study.c_str();
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (ec)
            return STATUS_STORE_Refused_OutOfResources;
        std::filesystem::path target;
        for (int n = 1; n < 10000; ++n) {
            char name[16];
            std::snprintf(name, sizeof name, "%04d.dcm", n);
            if (!std::filesystem::exists(folder / name, ec)) {
                target = folder / name;
                break;
            }
        }
        if (target.empty())
            return STATUS_STORE_Refused_OutOfResources;
        signal::AtomicFileWriter file(target);
        DcmFileFormat fileFormat(dataset);
        Status s = file.open();
        if (s) {
            const OFCondition saved =
                fileFormat.saveFile(file.temporaryPath().c_str(), EXS_LittleEndianExplicit);
            s = saved.good() ? file.commit()
                             : Status::failure(ErrorCode::CannotWrite, saved.text());
        }
        if (!s)
            return STATUS_STORE_Refused_OutOfResources;
        ++stored_;
        return STATUS_Success;
    }

    NetworkSettings settings_;
    std::filesystem::path workDir_;
    std::atomic<bool>& stop_;
    std::atomic<int>& reports_;
    std::atomic<int>& stored_;
    std::function<void()> reported_;
};

StoreScp::StoreScp() = default;

StoreScp::~StoreScp() {
    stop();
}

Status StoreScp::start(const NetworkSettings& settings, const std::filesystem::path& workDir,
                       std::function<void()> reported) {
    stop();
    static std::once_flag quiet;
    std::call_once(quiet, [] { OFLog::configure(OFLogger::OFF_LOG_LEVEL); });
    if (!validAeTitle(settings.aeTitle))
        return Status::failure(ErrorCode::InvalidArgument,
                               "The own AE title must have 1 to 16 characters");
    settings_ = settings;
    stop_.store(false);
    listener_ = std::make_unique<Listener>(settings, workDir, stop_, reports_, stored_,
                                           std::move(reported));
    DcmSCPConfig& config = listener_->getConfig();
    config.setPort(static_cast<Uint16>(settings.port));
    config.setAETitle(settings.aeTitle.c_str());
    config.setRespondWithCalledAETitle(OFFalse);
    config.setHostLookupEnabled(OFFalse);
    config.setConnectionBlockingMode(DUL_NOBLOCK);
    config.setConnectionTimeout(1); // how soon stop() is seen when idle
    config.setDIMSEBlockingMode(DIMSE_NONBLOCKING);
    config.setDIMSETimeout(static_cast<Uint32>(settings.timeoutSeconds));
    config.setACSETimeout(static_cast<Uint32>(settings.timeoutSeconds));
    config.setAlwaysAcceptDefaultRole(OFTrue);
    OFList<OFString> syntaxes;
    syntaxes.push_back(UID_LittleEndianExplicitTransferSyntax);
    syntaxes.push_back(UID_LittleEndianImplicitTransferSyntax);
    for (const char* cls :
         {UID_VerificationSOPClass, UID_TwelveLeadECGWaveformStorage, UID_GeneralECGWaveformStorage,
          UID_EncapsulatedPDFStorage, UID_StorageCommitmentPushModelSOPClass})
        if (config.addPresentationContext(cls, syntaxes).bad())
            return Status::failure(ErrorCode::Failed, std::string("Cannot offer ") + cls);
    if (settings.pacs.tls) {
        if (auto s = secure(settings); !s) {
            listener_.reset();
            return s;
        }
        config.setTransportLayer(tls_.get());
    }
    const OFCondition opened = listener_->openListenPort();
    if (opened.bad()) {
        listener_.reset();
        return Status::failure(ErrorCode::CannotOpen, "Cannot listen on port " +
                                                          std::to_string(settings.port) + ": " +
                                                          opened.text());
    }
    thread_ = std::thread([this] { listener_->acceptAssociations(); });
    return Status::success();
}

void StoreScp::stop() {
    stop_.store(true);
    if (thread_.joinable())
        thread_.join();
    listener_.reset();
    tls_.reset();
}

// With the archive over TLS the store SCP takes TLS only: its own certificate and key, the
// caller's certificate required and checked against the CA file.
Status StoreScp::secure(const NetworkSettings& settings) {
    if (settings.tlsCaFile.empty() || settings.tlsCertificateFile.empty() ||
        settings.tlsKeyFile.empty())
        return Status::failure(ErrorCode::InvalidArgument,
                               "The store SCP over TLS needs the CA file and the own certificate "
                               "and key (tls.ca_file, tls.certificate_file, tls.key_file)");
    tls_ = std::make_unique<DcmTLSTransportLayer>(NET_ACCEPTOR, nullptr, OFTrue);
    auto bad = [](const std::string& what, const OFCondition& c) {
        return Status::failure(ErrorCode::InvalidArgument, what + ": " + c.text());
    };
    OFCondition c = tls_->setTLSProfile(TSP_Profile_BCP195);
    if (c.bad())
        return bad("TLS profile", c);
    c = tls_->activateCipherSuites();
    if (c.bad())
        return bad("TLS cipher suites", c);
    c = tls_->addTrustedCertificateFile(settings.tlsCaFile.c_str(), DCF_Filetype_PEM);
    if (c.bad())
        return bad("Cannot read the CA file " + settings.tlsCaFile, c);
    c = tls_->setPrivateKeyFile(settings.tlsKeyFile.c_str(), DCF_Filetype_PEM);
    if (c.bad())
        return bad("Cannot read the key " + settings.tlsKeyFile, c);
    c = tls_->setCertificateFile(settings.tlsCertificateFile.c_str(), DCF_Filetype_PEM);
    if (c.bad())
        return bad("Cannot read the certificate " + settings.tlsCertificateFile, c);
    if (!tls_->checkPrivateKeyMatchesCertificate())
        return Status::failure(ErrorCode::InvalidArgument,
                               "The key does not match the certificate");
    tls_->setCertificateVerification(DCV_requireCertificate);
    return Status::success();
}

} // namespace velkard::net
