#pragma once
// The device library's one-byte results, read one way everywhere: an
// information query has answered only when it returns exactly 1 (its text is
// then in the buffer); the port initialisation, the boot catch and the
// download succeed on any non-zero byte. Nothing else compares those bytes.

#include <cstdint>
#include <string>

#include "identify/device_library.h"
#include "identify/information_buffer.h"

enum class InformationKind { kBoot, kProduct, kApplication };

// Asks the family's information of this kind, with the default timing, into
// the cleared buffer. True when the library answered.
bool QueryInformation(DeviceLibrary& library, DeviceFamily family, InformationKind kind,
                      InformationBuffer& buffer, std::int32_t port);

// Qarnel_InitCom: the boot loader of the family (code) answers on the port.
bool DeviceReady(DeviceLibrary& library, std::int32_t port, std::int32_t code);
// Qarnel_CatchBoot: the boot loader was caught after RESET.
bool BootLoaderCaught(DeviceLibrary& library, std::int32_t port, std::int32_t code);
// Qarnel_DownloadMOTCF: the firmware file is written and started.
bool FirmwareDownloaded(DeviceLibrary& library, const std::string& firmwarePath, std::int32_t port,
                        std::int32_t code);
