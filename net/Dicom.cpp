// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/Dicom.h"

#include "net/StoreScp.h"
#include "net/TlsPeer.h"
#include "signal/FileIo.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>
#include <dcmtk/dcmnet/diutil.h>
#include <dcmtk/dcmnet/scu.h>
#include <dcmtk/dcmtls/tlslayer.h>
#include <dcmtk/oflog/oflog.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <random>
#include <set>

namespace velkard::net {

namespace {

// DCMTK's own log would write to stderr; its conditions come back to us as values instead.
void quietLog() {
    static std::once_flag once;
    std::call_once(once, [] { OFLog::configure(OFLogger::OFF_LOG_LEVEL); });
}

OFList<OFString> transferSyntaxes() {
    OFList<OFString> ts;
    ts.push_back(UID_LittleEndianExplicitTransferSyntax);
    ts.push_back(UID_LittleEndianImplicitTransferSyntax);
    return ts;
}

std::string where(const Peer& peer) {
    return peer.aeTitle + "@" + peer.host + ":" + std::to_string(peer.port);
}

// One association to a peer.
class Scu : public DcmSCU {
public:
    // The files received in a C-GET, stored as <folder>/0001.dcm, 0002.dcm ... in the order
    // they came: nothing the peer sends names a file.
    std::filesystem::path getFolder;
    std::vector<std::filesystem::path> received;
    std::string receiveError;

    OFCondition overTls(DcmTransportLayer* layer) { return useSecureConnection(layer); }

    OFCondition handleSTORERequest(const T_ASC_PresentationContextID /*presID*/,
                                   DcmDataset* incoming, OFBool& continueSession,
                                   Uint16& status) override {
        continueSession = OFTrue;
        std::unique_ptr<DcmDataset> dataset(incoming);
        if (!dataset) {
            status = STATUS_STORE_Error_CannotUnderstand;
            return EC_Normal;
        }
        char name[16];
        std::snprintf(name, sizeof name, "%04zu.dcm", received.size() + 1);
        const auto target = getFolder / name;
        signal::AtomicFileWriter file(target);
        DcmFileFormat fileFormat(dataset.get(), OFTrue);
        Status s = file.open();
        if (s) {
            const OFCondition saved =
                fileFormat.saveFile(file.temporaryPath().c_str(), EXS_LittleEndianExplicit);
            s = saved.good() ? file.commit()
                             : Status::failure(ErrorCode::CannotWrite, saved.text());
        }
        if (!s) {
            receiveError = s.message;
            status = STATUS_STORE_Refused_OutOfResources;
            return EC_Normal;
        }
        received.push_back(target);
        status = STATUS_Success;
        return EC_Normal;
    }
};

struct Association {
    Scu scu;
    std::unique_ptr<DcmTLSTransportLayer> tls;
    Peer peer;

    ~Association() {
        if (scu.isConnected())
            scu.releaseAssociation();
    }

    // Proposes the contexts (abstract syntax, role) and opens the association.
    Status open(const NetworkSettings& settings, const Peer& p,
                const std::vector<std::pair<std::string, T_ASC_SC_ROLE>>& contexts) {
        quietLog();
        peer = p;
        if (!peer.configured())
            return Status::failure(ErrorCode::InvalidArgument, "No DICOM peer is configured");
        if (!validAeTitle(settings.aeTitle) || !validAeTitle(peer.aeTitle))
            return Status::failure(ErrorCode::InvalidArgument,
                                   "An AE title must have 1 to 16 characters (own: '" +
                                       settings.aeTitle + "', peer: '" + peer.aeTitle + "')");
        scu.setAETitle(settings.aeTitle.c_str());
        scu.setPeerHostName(peer.host.c_str());
        scu.setPeerPort(static_cast<Uint16>(peer.port));
        scu.setPeerAETitle(peer.aeTitle.c_str());
        const auto timeout = static_cast<Uint32>(settings.timeoutSeconds);
        scu.setACSETimeout(timeout);
        scu.setDIMSETimeout(timeout);
        scu.setDIMSEBlockingMode(DIMSE_NONBLOCKING);
        scu.setConnectionTimeout(static_cast<Sint32>(timeout));
        for (const auto& [syntax, role] : contexts)
            if (scu.addPresentationContext(syntax.c_str(), transferSyntaxes(), role).bad())
                return Status::failure(ErrorCode::Failed, "Cannot propose " + syntax);
        OFCondition cond = scu.initNetwork();
        if (cond.bad())
            return Status::failure(ErrorCode::IoError, std::string("Network: ") + cond.text());
        if (peer.tls) {
            if (auto s = secure(settings); !s)
                return s;
        }
        cond = scu.negotiateAssociation();
        if (cond == DUL_ASSOCIATIONREJECTED)
            return Status::failure(ErrorCode::Failed, where(peer) + " refused the association (" +
                                                          std::string(cond.text()) + ")");
        if (cond == NET_EC_NoAcceptablePresentationContexts)
            return Status::failure(ErrorCode::Failed,
                                   where(peer) + " accepts none of the services asked for");
        if (cond.bad())
            return Status::failure(ErrorCode::IoError,
                                   "Cannot reach " + where(peer) + ": " + cond.text());
        return Status::success();
    }

    // TLS with the peer's certificate checked against the configured CA.
    Status secure(const NetworkSettings& settings) {
        if (settings.tlsCaFile.empty())
            return Status::failure(
                ErrorCode::InvalidArgument,
                "TLS needs the file of the CA that signs the peer's certificate");
        tls = std::make_unique<DcmTLSTransportLayer>(NET_REQUESTOR, nullptr, OFTrue);
        auto bad = [&](const std::string& what, const OFCondition& c) {
            return Status::failure(ErrorCode::InvalidArgument, what + ": " + c.text());
        };
        OFCondition c = tls->setTLSProfile(TSP_Profile_BCP195);
        if (c.bad())
            return bad("TLS profile", c);
        c = tls->activateCipherSuites();
        if (c.bad())
            return bad("TLS cipher suites", c);
        c = tls->addTrustedCertificateFile(settings.tlsCaFile.c_str(), DCF_Filetype_PEM);
        if (c.bad())
            return bad("Cannot read the CA file " + settings.tlsCaFile, c);
        if (!settings.tlsCertificateFile.empty()) {
            c = tls->setPrivateKeyFile(settings.tlsKeyFile.c_str(), DCF_Filetype_PEM);
            if (c.bad())
                return bad("Cannot read the key " + settings.tlsKeyFile, c);
            c = tls->setCertificateFile(settings.tlsCertificateFile.c_str(), DCF_Filetype_PEM);
            if (c.bad())
                return bad("Cannot read the certificate " + settings.tlsCertificateFile, c);
            if (!tls->checkPrivateKeyMatchesCertificate())
                return Status::failure(ErrorCode::InvalidArgument,
                                       "The key does not match the certificate");
        }
        tls->setCertificateVerification(DCV_requireCertificate);
        if (!expectPeerName(SSL_CTX_get0_param(tls->getNativeHandle()), peer.host))
            return Status::failure(ErrorCode::InvalidArgument,
                                   "TLS cannot check the host name " + peer.host);
        c = scu.overTls(tls.get());
        if (c.bad())
            return bad("TLS", c);
        return Status::success();
    }
};

std::string get(DcmItem* item, const DcmTagKey& tag) {
    OFString v;
    if (item && item->findAndGetOFString(tag, v).good())
        return v.c_str();
    return {};
}

// A C-FIND on an open association; each pending response's dataset goes to `take`.
template <class Take> Status find(Association& a, const char* model, DcmDataset& query, Take take) {
    const T_ASC_PresentationContextID id = a.scu.findPresentationContextID(model, "");
    if (id == 0)
        return Status::failure(ErrorCode::Failed, where(a.peer) + " does not offer this query");
    OFList<QRResponse*> responses;
    const OFCondition cond = a.scu.sendFINDRequest(id, &query, &responses);
    Status result;
    Uint16 final = STATUS_Success;
    for (QRResponse* r : responses) {
        if (DICOM_PENDING_STATUS(r->m_status) && r->m_dataset) {
            r->m_dataset->convertToUTF8(); // names in whatever character set the peer used
            take(r->m_dataset);
        } else
            final = r->m_status;
        delete r;
    }
    if (cond.bad())
        return Status::failure(ErrorCode::IoError,
                               "Query to " + where(a.peer) + " broke off: " + cond.text());
    if (final != STATUS_Success)
        return Status::failure(ErrorCode::Failed, where(a.peer) + " ended the query with status " +
                                                      std::to_string(final));
    return result;
}

} // namespace

std::string storeStatusText(unsigned status) {
    return DU_cstoreStatusString(static_cast<Uint16>(status));
}

Status echo(const NetworkSettings& settings, const Peer& peer) {
    Association a;
    if (auto s = a.open(settings, peer, {{UID_VerificationSOPClass, ASC_SC_ROLE_DEFAULT}}); !s)
        return s;
    const OFCondition c = a.scu.sendECHORequest(0);
    if (c.bad())
        return Status::failure(ErrorCode::IoError,
                               "No answer to C-ECHO from " + where(peer) + ": " + c.text());
    return Status::success();
}

Result<std::vector<StoreOutcome>> store(const NetworkSettings& settings, const Peer& peer,
                                        const std::vector<std::filesystem::path>& files) {
    using R = Result<std::vector<StoreOutcome>>;
    std::vector<std::string> classes;
    for (const auto& f : files) {
        DcmFileFormat ff;
        const OFCondition c = ff.loadFile(f.c_str());
        OFString cls;
        if (c.bad() || ff.getDataset()->findAndGetOFString(DCM_SOPClassUID, cls).bad())
            return R::failure(ErrorCode::CannotRead, "Cannot read " + f.string() + ": " + c.text());
        if (std::find(classes.begin(), classes.end(), cls.c_str()) == classes.end())
            classes.emplace_back(cls.c_str());
    }
    std::vector<std::pair<std::string, T_ASC_SC_ROLE>> contexts;
    for (const auto& c : classes)
        contexts.emplace_back(c, ASC_SC_ROLE_DEFAULT);
    Association a;
    if (auto s = a.open(settings, peer, contexts); !s)
        return R::failure(s);
    std::vector<StoreOutcome> out;
    for (const auto& f : files) {
        StoreOutcome o;
        o.file = f;
        Uint16 status = 0;
        const OFCondition c = a.scu.sendSTORERequest(0, f.c_str(), nullptr, status);
        if (c.bad()) {
            if (c == DIMSE_NOVALIDPRESENTATIONCONTEXTID) {
                o.status = STATUS_STORE_Refused_SOPClassNotSupported;
                o.reason = where(peer) + " does not take this kind of object";
                out.push_back(o);
                continue;
            }
            return R::failure(ErrorCode::IoError,
                              "Sending to " + where(peer) + " broke off: " + c.text());
        }
        o.status = status;
        // Warnings (0xB...) are stored too.
        o.stored = status == STATUS_Success || (status & 0xF000) == 0xB000;
        if (!o.stored)
            o.reason = storeStatusText(status);
        out.push_back(o);
    }
    return R::success(out);
}

Result<std::vector<WorklistItem>> findWorklist(const NetworkSettings& settings,
                                               const WorklistQuery& q) {
    using R = Result<std::vector<WorklistItem>>;
    Association a;
    if (auto s = a.open(settings, settings.worklist,
                        {{UID_FINDModalityWorklistInformationModel, ASC_SC_ROLE_DEFAULT}});
        !s)
        return R::failure(s);
    DcmDataset query;
    query.putAndInsertString(DCM_SpecificCharacterSet, "ISO_IR 192");
    for (const DcmTagKey& tag :
         {DCM_PatientName, DCM_PatientID, DCM_PatientBirthDate, DCM_PatientSex, DCM_AccessionNumber,
          DCM_RequestedProcedureID, DCM_RequestedProcedureDescription, DCM_StudyInstanceUID})
        query.insertEmptyElement(tag);
    DcmItem* step = nullptr;
    query.findOrCreateSequenceItem(DCM_ScheduledProcedureStepSequence, step, 0);
    step->putAndInsertString(DCM_Modality, q.modality.c_str());
    step->putAndInsertString(DCM_ScheduledStationAETitle, q.stationAeTitle.c_str());
    std::string range;
    if (!q.fromDate.empty() || !q.toDate.empty())
        range = q.fromDate == q.toDate ? q.fromDate : q.fromDate + "-" + q.toDate;
    step->putAndInsertString(DCM_ScheduledProcedureStepStartDate, range.c_str());
    for (const DcmTagKey& tag : {DCM_ScheduledProcedureStepStartTime, DCM_ScheduledProcedureStepID,
                                 DCM_ScheduledProcedureStepDescription})
        step->insertEmptyElement(tag);
    std::vector<WorklistItem> items;
    auto s = find(a, UID_FINDModalityWorklistInformationModel, query, [&](DcmDataset* d) {
        WorklistItem w;
        w.patientName = get(d, DCM_PatientName);
        w.patientId = get(d, DCM_PatientID);
        w.birthDate = get(d, DCM_PatientBirthDate);
        w.sex = get(d, DCM_PatientSex);
        w.accessionNumber = get(d, DCM_AccessionNumber);
        w.requestedProcedureId = get(d, DCM_RequestedProcedureID);
        w.requestedProcedureDescription = get(d, DCM_RequestedProcedureDescription);
        w.studyInstanceUid = get(d, DCM_StudyInstanceUID);
        DcmItem* sps = nullptr;
        if (d->findAndGetSequenceItem(DCM_ScheduledProcedureStepSequence, sps, 0).good()) {
            w.modality = get(sps, DCM_Modality);
            w.stationAeTitle = get(sps, DCM_ScheduledStationAETitle);
            w.scheduledDate = get(sps, DCM_ScheduledProcedureStepStartDate);
            w.scheduledTime = get(sps, DCM_ScheduledProcedureStepStartTime);
            w.scheduledStepId = get(sps, DCM_ScheduledProcedureStepID);
            w.scheduledStepDescription = get(sps, DCM_ScheduledProcedureStepDescription);
        }
        items.push_back(std::move(w));
    });
    if (!s)
        return R::failure(s);
    return R::success(items);
}

Result<std::vector<StudyItem>> findStudies(const NetworkSettings& settings,
                                           const std::string& patientId,
                                           const std::string& modality) {
    StudyQuery q;
    q.patientId = patientId;
    q.modality = modality;
    return findStudies(settings, q);
}

Result<std::vector<StudyItem>> findStudies(const NetworkSettings& settings, const StudyQuery& q) {
    using R = Result<std::vector<StudyItem>>;
    if (q.patientId.empty() && q.patientName.find_first_not_of("*?^ ") == std::string::npos)
        return R::failure(ErrorCode::InvalidArgument,
                          "No patient ID or name to ask the archive for");
    Association a;
    if (auto s = a.open(settings, settings.pacs,
                        {{UID_FINDStudyRootQueryRetrieveInformationModel, ASC_SC_ROLE_DEFAULT}});
        !s)
        return R::failure(s);
    DcmDataset query;
    query.putAndInsertString(DCM_SpecificCharacterSet, "ISO_IR 192");
    query.putAndInsertString(DCM_QueryRetrieveLevel, "STUDY");
    if (!q.patientId.empty()) {
        query.putAndInsertString(DCM_PatientID, q.patientId.c_str());
        query.insertEmptyElement(DCM_PatientName);
    } else {
        query.putAndInsertString(DCM_PatientName, q.patientName.c_str());
        query.putAndInsertString(DCM_PatientBirthDate, q.birthDate.c_str());
        query.insertEmptyElement(DCM_PatientID);
    }
    query.putAndInsertString(DCM_ModalitiesInStudy, q.modality.c_str());
    for (const DcmTagKey& tag : {DCM_StudyInstanceUID, DCM_StudyDate, DCM_StudyTime,
                                 DCM_StudyDescription, DCM_AccessionNumber})
        query.insertEmptyElement(tag);
    std::vector<StudyItem> items;
    auto s = find(a, UID_FINDStudyRootQueryRetrieveInformationModel, query, [&](DcmDataset* d) {
        StudyItem st;
        st.studyInstanceUid = get(d, DCM_StudyInstanceUID);
        st.studyDate = get(d, DCM_StudyDate);
        st.studyTime = get(d, DCM_StudyTime);
        st.studyDescription = get(d, DCM_StudyDescription);
        st.accessionNumber = get(d, DCM_AccessionNumber);
        st.patientId = get(d, DCM_PatientID);
        st.patientName = get(d, DCM_PatientName);
        st.modalities = get(d, DCM_ModalitiesInStudy);
        if (!st.studyInstanceUid.empty())
            items.push_back(std::move(st));
    });
    if (!s)
        return R::failure(s);
    // How many instances of the modality each study holds: its series of that modality.
    for (StudyItem& st : items) {
        DcmDataset series;
        series.putAndInsertString(DCM_QueryRetrieveLevel, "SERIES");
        series.putAndInsertString(DCM_StudyInstanceUID, st.studyInstanceUid.c_str());
        series.putAndInsertString(DCM_Modality, q.modality.c_str());
        series.insertEmptyElement(DCM_SeriesInstanceUID);
        series.insertEmptyElement(DCM_NumberOfSeriesRelatedInstances);
        int total = 0;
        bool told = false;
        auto counted =
            find(a, UID_FINDStudyRootQueryRetrieveInformationModel, series, [&](DcmDataset* d) {
                if (!q.modality.empty() && get(d, DCM_Modality) != q.modality)
                    return;
                Sint32 n = 0;
                if (d->findAndGetSint32(DCM_NumberOfSeriesRelatedInstances, n).good() && n >= 0) {
                    total += n;
                    told = true;
                }
            });
        if (!counted && counted.code == ErrorCode::IoError)
            return R::failure(counted);
        st.instances = counted && told ? total : -1;
    }
    return R::success(items);
}

Result<std::vector<std::filesystem::path>> getStudy(const NetworkSettings& settings,
                                                    const std::string& studyInstanceUid,
                                                    const std::filesystem::path& folder) {
    using R = Result<std::vector<std::filesystem::path>>;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec)
        return R::failure(ErrorCode::CannotWrite,
                          "Cannot create " + folder.string() + ": " + ec.message());
    Association a;
    a.scu.getFolder = folder;
    if (auto s = a.open(settings, settings.pacs,
                        {{UID_GETStudyRootQueryRetrieveInformationModel, ASC_SC_ROLE_DEFAULT},
                         {UID_TwelveLeadECGWaveformStorage, ASC_SC_ROLE_SCP},
                         {UID_GeneralECGWaveformStorage, ASC_SC_ROLE_SCP},
                         {UID_AmbulatoryECGWaveformStorage, ASC_SC_ROLE_SCP},
                         {UID_EncapsulatedPDFStorage, ASC_SC_ROLE_SCP}});
        !s)
        return R::failure(s);
    const T_ASC_PresentationContextID id =
        a.scu.findPresentationContextID(UID_GETStudyRootQueryRetrieveInformationModel, "");
    if (id == 0)
        return R::failure(ErrorCode::Failed, where(a.peer) + " does not offer C-GET");
    DcmDataset query;
    query.putAndInsertString(DCM_QueryRetrieveLevel, "STUDY");
    query.putAndInsertString(DCM_StudyInstanceUID, studyInstanceUid.c_str());
    OFList<RetrieveResponse*> responses;
    const OFCondition cond = a.scu.sendCGETRequest(id, &query, &responses);
    Uint16 final = STATUS_Success;
    for (RetrieveResponse* r : responses) {
        if (!DICOM_PENDING_STATUS(r->m_status))
            final = r->m_status;
        delete r;
    }
    if (cond.bad())
        return R::failure(ErrorCode::IoError,
                          "Fetching from " + where(a.peer) + " broke off: " + cond.text());
    if (!a.scu.receiveError.empty())
        return R::failure(ErrorCode::CannotWrite, a.scu.receiveError, a.scu.received);
    if (final != STATUS_Success && a.scu.received.empty())
        return R::failure(ErrorCode::Failed,
                          where(a.peer) + " ended the C-GET with status " + std::to_string(final));
    return R::success(a.scu.received);
}

std::string commitmentFailureText(unsigned reason) {
    switch (reason) {
    case 0x0110:
        return "processing failure";
    case 0x0112:
        return "no such object instance";
    case 0x0119:
        return "class-instance conflict";
    case 0x0122:
        return "SOP class not supported";
    case 0x0131:
        return "duplicate transaction UID";
    case 0x0213:
        return "resource limitation";
    case 0xA770:
        return "referenced SOP class not supported";
    case 0xA771:
        return "class-instance conflict";
    case 0xA772:
        return "duplicate transaction UID";
    }
    char code[24];
    std::snprintf(code, sizeof code, "failure reason 0x%04X", reason);
    return code;
}

CommitmentReport commitmentReportOf(DcmItem& dataset, unsigned eventType) {
    CommitmentReport r;
    r.transactionUid = get(&dataset, DCM_TransactionUID);
    DcmItem* item = nullptr;
    for (unsigned long i = 0;
         dataset.findAndGetSequenceItem(DCM_ReferencedSOPSequence, item, static_cast<int>(i))
             .good();
         ++i)
        r.committed.push_back(get(item, DCM_ReferencedSOPInstanceUID));
    for (unsigned long i = 0;
         dataset.findAndGetSequenceItem(DCM_FailedSOPSequence, item, static_cast<int>(i)).good();
         ++i) {
        CommitmentReport::Failure f;
        f.classUid = get(item, DCM_ReferencedSOPClassUID);
        f.instanceUid = get(item, DCM_ReferencedSOPInstanceUID);
        Uint16 reason = 0;
        if (item->findAndGetUint16(DCM_FailureReason, reason).good())
            f.reason = reason;
        else
            f.reason = 0x0110; // a failed object without its reason
        r.failed.push_back(std::move(f));
    }
    if (eventType != 1 && r.failed.empty())
        r.failed.push_back({{}, {}, 0x0110}); // failures said, none named
    return r;
}

Result<std::optional<CommitmentReport>>
requestCommitment(const NetworkSettings& settings, const Peer& peer,
                  const std::string& transactionUid,
                  const std::vector<std::filesystem::path>& files, int waitSeconds) {
    using R = Result<std::optional<CommitmentReport>>;
    DcmDataset request;
    request.putAndInsertString(DCM_TransactionUID, transactionUid.c_str());
    for (const auto& f : files) {
        DcmFileFormat ff;
        const OFCondition c = ff.loadFile(f.c_str());
        OFString cls, inst;
        if (c.bad() || ff.getDataset()->findAndGetOFString(DCM_SOPClassUID, cls).bad() ||
            ff.getDataset()->findAndGetOFString(DCM_SOPInstanceUID, inst).bad())
            return R::failure(ErrorCode::CannotRead, "Cannot read " + f.string() + ": " + c.text());
        DcmItem* item = nullptr;
        request.findOrCreateSequenceItem(DCM_ReferencedSOPSequence, item, -2);
        item->putAndInsertString(DCM_ReferencedSOPClassUID, cls.c_str());
        item->putAndInsertString(DCM_ReferencedSOPInstanceUID, inst.c_str());
    }
    // Proposed twice: in the default role, which every archive takes, and with both roles, which
    // lets an archive that wants to send its report on this association do so.
    Association a;
    if (auto s = a.open(settings, peer,
                        {{UID_StorageCommitmentPushModelSOPClass, ASC_SC_ROLE_DEFAULT},
                         {UID_StorageCommitmentPushModelSOPClass, ASC_SC_ROLE_SCUSCP}});
        !s)
        return R::failure(s);
    // An archive may answer the default proposal with both roles too (Orthanc does).
    T_ASC_PresentationContextID id = a.scu.findPresentationContextID(
        UID_StorageCommitmentPushModelSOPClass, "", ASC_SC_ROLE_SCUSCP);
    if (id == 0)
        id = a.scu.findPresentationContextID(UID_StorageCommitmentPushModelSOPClass, "");
    if (id == 0)
        return R::failure(ErrorCode::Failed, where(peer) + " does not offer storage commitment");
    Uint16 status = 0;
    const OFCondition c =
        a.scu.sendACTIONRequest(id, UID_StorageCommitmentPushModelSOPInstance, 1, &request, status);
    if (c.bad())
        return R::failure(ErrorCode::IoError, "No answer to the storage commitment request from " +
                                                  where(peer) + ": " + c.text());
    if (status != STATUS_Success)
        return R::failure(ErrorCode::Failed,
                          where(peer) + " refused the storage commitment request (status " +
                              std::to_string(status) + ")");
    if (waitSeconds <= 0)
        return R::success(std::nullopt);
    DcmDataset* report = nullptr;
    Uint16 eventType = 0;
    const OFCondition got = a.scu.handleEVENTREPORTRequest(report, eventType, waitSeconds);
    std::unique_ptr<DcmDataset> owned(report);
    if (got.bad() || !owned || (eventType != 1 && eventType != 2))
        return R::success(std::nullopt); // it comes later, to the store SCP
    CommitmentReport r = commitmentReportOf(*owned, eventType);
    if (r.transactionUid != transactionUid)
        return R::success(std::nullopt);
    return R::success(std::optional<CommitmentReport>(std::move(r)));
}

Result<int> moveStudy(const NetworkSettings& settings, const std::string& studyInstanceUid) {
    using R = Result<int>;
    Association a;
    if (auto s = a.open(settings, settings.pacs,
                        {{UID_MOVEStudyRootQueryRetrieveInformationModel, ASC_SC_ROLE_DEFAULT}});
        !s)
        return R::failure(s);
    const T_ASC_PresentationContextID id =
        a.scu.findPresentationContextID(UID_MOVEStudyRootQueryRetrieveInformationModel, "");
    if (id == 0)
        return R::failure(ErrorCode::Failed, where(a.peer) + " does not offer C-MOVE");
    DcmDataset query;
    query.putAndInsertString(DCM_QueryRetrieveLevel, "STUDY");
    query.putAndInsertString(DCM_StudyInstanceUID, studyInstanceUid.c_str());
    OFList<RetrieveResponse*> responses;
    const OFCondition cond =
        a.scu.sendMOVERequest(id, settings.aeTitle.c_str(), &query, &responses);
    Uint16 final = STATUS_Success;
    int completed = 0, failed = 0;
    for (RetrieveResponse* r : responses) {
        if (!DICOM_PENDING_STATUS(r->m_status)) {
            final = r->m_status;
            completed = r->m_numberOfCompletedSubops;
            failed = r->m_numberOfFailedSubops;
        }
        delete r;
    }
    if (cond.bad())
        return R::failure(ErrorCode::IoError,
                          "Fetching from " + where(a.peer) + " broke off: " + cond.text());
    if (final != STATUS_Success && completed == 0)
        return R::failure(ErrorCode::Failed, where(a.peer) + " ended the C-MOVE with status " +
                                                 std::to_string(final) + " (" +
                                                 std::to_string(failed) + " not sent)");
    return R::success(completed);
}

bool validUid(const std::string& uid) {
    if (uid.empty() || uid.size() > 64 || uid.find_first_not_of("0123456789.") != std::string::npos)
        return false;
    return uid.front() != '.' && uid.back() != '.' && uid.find("..") == std::string::npos;
}

namespace {

void sortOut(FetchedStudy& out, const std::vector<std::filesystem::path>& files) {
    for (const auto& kept : files) {
        out.files.push_back(kept);
        DcmFileFormat ff;
        OFString cls;
        if (ff.loadFile(kept.c_str()).good() &&
            ff.getDataset()->findAndGetOFString(DCM_SOPClassUID, cls).good() &&
            (cls == UID_TwelveLeadECGWaveformStorage || cls == UID_GeneralECGWaveformStorage))
            out.ecgs.push_back(kept);
    }
}

// The earlier copy is put aside while the store SCP fills the study's folder anew.
Result<FetchedStudy> fetchByMove(const NetworkSettings& settings, const std::string& studyUid,
                                 const std::filesystem::path& cache) {
    using R = Result<FetchedStudy>;
    namespace fs = std::filesystem;
    if (!settings.storeScp)
        return R::failure(ErrorCode::InvalidArgument,
                          "Fetching by C-MOVE needs the store SCP switched on (store_scp.enabled)");
    FetchedStudy out;
    out.folder = cache / studyUid;
    std::random_device rd;
    const fs::path aside = cache / (".old-" + std::to_string(rd()) + "-" + studyUid);
    std::error_code ec;
    fs::create_directories(cache, ec);
    const bool hadCopy = fs::exists(out.folder, ec);
    if (hadCopy) {
        fs::rename(out.folder, aside, ec);
        if (ec)
            return R::failure(ErrorCode::CannotWrite,
                              "Cannot put aside " + out.folder.string() + ": " + ec.message());
    }
    // The program's store SCP may hold the port; it keeps what comes in the same folder.
    StoreScp scp;
    const Status listening = scp.start(settings, cache.parent_path());
    auto moved = moveStudy(settings, studyUid);
    scp.stop();
    if (!moved || !fs::is_directory(out.folder, ec)) {
        fs::remove_all(out.folder, ec);
        if (hadCopy)
            fs::rename(aside, out.folder, ec);
        if (!moved)
            return R::failure(moved);
        return R::failure(ErrorCode::Failed,
                          "The archive sent nothing to " + settings.aeTitle +
                              (listening ? std::string() : " (" + listening.message + ")"));
    }
    fs::remove_all(aside, ec);
    std::vector<fs::path> files;
    for (const auto& d : fs::directory_iterator(out.folder, ec))
        if (d.is_regular_file() && d.path().extension() == ".dcm")
            files.push_back(d.path());
    std::sort(files.begin(), files.end());
    sortOut(out, files);
    return R::success(out);
}

} // namespace

Result<FetchedStudy> fetchStudy(const NetworkSettings& settings, const std::string& studyUid,
                                const std::filesystem::path& workDir) {
    using R = Result<FetchedStudy>;
    if (!validUid(studyUid))
        return R::failure(ErrorCode::InvalidArgument,
                          "The archive named the study by no valid UID: '" + studyUid + "'");
    namespace fs = std::filesystem;
    const fs::path cache = workDir / kArchiveCacheFolder;
    if (settings.archiveFetch == "move")
        return fetchByMove(settings, studyUid, cache);
    std::random_device rd;
    const fs::path fresh = cache / (".new-" + std::to_string(rd()) + "-" + studyUid);
    auto received = getStudy(settings, studyUid, fresh);
    std::error_code ec;
    if (!received) {
        fs::remove_all(fresh, ec);
        return R::failure(received);
    }
    FetchedStudy out;
    out.folder = cache / studyUid;
    fs::remove_all(out.folder, ec); // the earlier copy of this study
    fs::rename(fresh, out.folder, ec);
    if (ec) {
        fs::remove_all(fresh, ec);
        return R::failure(ErrorCode::CannotWrite,
                          "Cannot keep the study in " + out.folder.string() + ": " + ec.message());
    }
    std::vector<fs::path> kept;
    for (const fs::path& f : received.value)
        kept.push_back(out.folder / f.filename());
    sortOut(out, kept);
    return R::success(out);
}

} // namespace velkard::net
