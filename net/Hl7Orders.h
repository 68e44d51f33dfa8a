// SPDX-License-Identifier: GPL-3.0-or-later
// Orders from the hospital's HL7 interface as a second worklist source: ORM^O01 and OMG^O19
// messages that the interface engine drops as files into a folder (`hl7.orders_folder`; Velkard
// itself listens on no port). Each file holds one or more messages (MLLP framing allowed); files
// are read in the order of their names, so a later cancel (ORC-1 CA, DC or OC) takes back an
// earlier new order (NW, XO or SC) of the same placer order number. Files are only read.
#pragma once

#include "net/Dicom.h"
#include "signal/Status.h"

#include <filesystem>
#include <string>
#include <vector>

namespace velkard::net {

struct Hl7Orders {
    std::vector<WorklistItem> items;
    // Messages left out, each "file: why" (not an order message, no PID, no placer number).
    std::vector<std::string> problems;
};

// The ECG orders of the folder for the query's days (modality ECG: OBR-24 "EC", "ECG" or
// empty). Where the message names them: accession IPC-1, else OBR-18; requested procedure IPC-2,
// else OBR-19; study instance UID IPC-3 or ZDS-1, else a UID made from the placer order number
// (the same every time the folder is read); scheduled step IPC-4, else OBR-20; scheduled start
// TQ1-7, OBR-27.4, ORC-7.4, OBR-7 or OBR-6. IoError when the folder cannot be read.
Result<Hl7Orders> readHl7Orders(const std::filesystem::path& folder, const WorklistQuery& query);

// One order message read (for tests and the folder reader): its order control code and item.
struct Hl7Order {
    std::string control;     // ORC-1, "NW" when there is no ORC
    std::string placerOrder; // ORC-2, else OBR-2
    WorklistItem item;
};
Result<Hl7Order> parseHl7Order(const std::string& message);

// The worklist of the settings: the worklist server's (when configured) followed by the HL7
// order folder's (when configured), and the folder's messages left out in `problems`.
// InvalidArgument when neither is set up.
Result<std::vector<WorklistItem>> findOrders(const NetworkSettings& settings,
                                             const WorklistQuery& query,
                                             std::vector<std::string>* problems = nullptr);

} // namespace velkard::net
