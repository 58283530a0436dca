// Operations on the ASPI library. Only valid after LoadAspi answered true.
#pragma once

#include <cstdint>

#include "scsi/transport.h"

uint8_t AspiAdapterCount();
uint8_t AspiDeviceType(uint8_t adapter, uint8_t target, uint8_t lun);
void AspiRescanAll();
char AspiDriveLetter(uint8_t adapter, uint8_t target, uint8_t lun);
bool AspiExecute(uint8_t adapter, uint8_t target, uint8_t lun, const uint8_t* cdb,
                 uint8_t cdblength, void* buffer, uint32_t bufferlength, tdirection direction);
