// SCSI pass-through on the NT family: opening devices, addresses, commands.
#pragma once

#include <windows.h>

#include <cstdint>

#include "scsi/transport.h"

struct tsptdwithsense;

HANDLE OpenDriveLetter(char letter);
HANDLE OpenCdRomDevice(uint8_t number);
void CloseDevice(HANDLE handle);
bool GetScsiAddress(HANDLE handle, uint8_t& adapter, uint8_t& target, uint8_t& lun);
// Zero-fills the pass-through block and sets it up for one command.
void PreparePassThrough(tsptdwithsense& block, const uint8_t* cdb, uint8_t cdblength, void* buffer,
                        uint32_t bufferlength, tdirection direction);
bool SptiExecute(HANDLE handle, const uint8_t* cdb, uint8_t cdblength, void* buffer,
                 uint32_t bufferlength, tdirection direction);
uint8_t FindCdRomIndex(uint8_t adapter, uint8_t target, uint8_t lun);
char FindDriveLetterSpti(uint8_t adapter, uint8_t target, uint8_t lun);
