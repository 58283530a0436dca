"""The command blocks the program sends, written out as the drive receives them."""


def set_speed_cdb(speed):
    return bytes([0xBB, 0, speed >> 8, speed & 0xFF] + [0] * 8)


MODE_SENSE = bytes([0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 24, 0])
GET_CONFIGURATION = bytes([0x46, 0x02, 0, 0, 0, 0, 0, 0, 8, 0])
INQUIRY = bytes([0x12, 0, 0, 0, 36, 0])
LOAD = bytes([0x1B, 1, 0, 0, 0x03, 0])
EJECT = bytes([0x1B, 1, 0, 0, 0x02, 0])


def choice_blocks(*speeds):
    """The user's choices of a speed, one each: the medium class read, then
    the field sent."""
    return [block for speed in speeds for block in (GET_CONFIGURATION, set_speed_cdb(speed))]


# Data direction and transfer length that go with each command block.
SHAPES = {0x12: ("in", 36), 0x5A: ("in", 24), 0x46: ("in", 8), 0xBB: ("none", 0),
          0x1B: ("none", 0)}
# The speeds a detection asks for: DVD steps of 1385 kB/s from 47 down to 7,
# then CD steps of 177 kB/s from 52 down to 1.
LADDER = [s * 1385 for s in range(47, 6, -1)] + [s * 177 for s in range(52, 0, -1)]


def detection_blocks(before):
    """The 188 command blocks of a detection: each speed of the ladder asked
    for and read back, and the drive asked back to the speed it ran at."""
    blocks = [MODE_SENSE]
    for speed in LADDER:
        blocks += [set_speed_cdb(speed), MODE_SENSE]
    return blocks + [set_speed_cdb(before)]
