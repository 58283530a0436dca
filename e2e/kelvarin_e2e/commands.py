"""The command blocks the program sends, written out as the drive receives them."""


def set_speed_cdb(speed):
    return bytes([0xBB, 0, speed >> 8, speed & 0xFF] + [0] * 8)


MODE_SENSE = bytes([0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 24, 0])
GET_CONFIGURATION = bytes([0x46, 0x02, 0, 0, 0, 0, 0, 0, 8, 0])
INQUIRY = bytes([0x12, 0, 0, 0, 36, 0])
LOAD = bytes([0x1B, 1, 0, 0, 0x03, 0])
EJECT = bytes([0x1B, 1, 0, 0, 0x02, 0])
# Data direction and transfer length that go with each command block.
SHAPES = {0x12: ("in", 36), 0x5A: ("in", 24), 0x46: ("in", 8), 0xBB: ("none", 0),
          0x1B: ("none", 0)}
