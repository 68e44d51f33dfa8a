// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/Link.h"

#include <cctype>

namespace velkard::device {

namespace {

bool parseHex16(const std::string& text, std::uint16_t& value) {
    if (text.empty() || text.size() > 4)
        return false;
    unsigned v = 0;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        v = v * 16 +
            static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(c))
                                      ? c - '0'
                                      : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
    }
    value = static_cast<std::uint16_t>(v);
    return true;
}

} // namespace

bool parseUsbPortName(const std::string& portName, UsbIds& ids) {
    if (portName.size() != 13 || portName[3] != ':' || portName[8] != ':')
        return false;
    std::string prefix = portName.substr(0, 3);
    for (char& c : prefix)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    UsbIds parsed;
    if (prefix != "USB" || !parseHex16(portName.substr(4, 4), parsed.vendor) ||
        !parseHex16(portName.substr(9, 4), parsed.product) || parsed.vendor == 0)
        return false;
    ids = parsed;
    return true;
}

std::string openFailureText(const OpenProblem& problem, bool russian) {
    const std::string detail = problem.detail.empty() ? "" : " (" + problem.detail + ")";
    switch (problem.kind) {
    case OpenFailure::None:
        return {};
    case OpenFailure::NoDevice:
        return russian ? "Прибор не подключён" + detail + "."
                       : "No instrument is connected" + detail + ".";
    case OpenFailure::PermissionDenied:
        return russian
                   ? "Нет прав на доступ к устройству USB" + detail +
                         ". Установите пакет Velkard или скопируйте правило udev "
                         "packaging/70-velkard-ftdi.rules в /etc/udev/rules.d/, выполните "
                         "udevadm control --reload-rules && udevadm trigger и подключите прибор "
                         "заново; доступ получает пользователь, вошедший за этим компьютером."
                   : "No permission to open the USB device" + detail +
                         ". Install the Velkard package, or copy the udev rule "
                         "packaging/70-velkard-ftdi.rules into /etc/udev/rules.d/, run "
                         "udevadm control --reload-rules && udevadm trigger and plug the "
                         "instrument in again; access goes to the user logged in at this machine.";
    case OpenFailure::Busy:
        return russian ? "Устройство занято: его держит драйвер ftdi_sio или другая программа" +
                             detail + "."
                       : "The device is busy: the ftdi_sio driver or another program holds it" +
                             detail + ".";
    case OpenFailure::Other:
        return russian ? "Устройство не открывается" + detail + "."
                       : "The device could not be opened" + detail + ".";
    }
    return {};
}

} // namespace velkard::device
