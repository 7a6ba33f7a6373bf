#pragma once
// Details of the termios backend that its tests look at.

#include <termios.h>

namespace ravelin {

// Turns `t` into raw mode with the given line parameters and no handshake. False for a
// parameter no port takes. `custom_speed` tells that the speed has no standard constant and must
// be set by the platform's arbitrary-rate call.
bool make_line_settings(termios& t, long speed, char parity, int data_bits, int stop_bits,
                        bool& custom_speed);

// Quiet time that ends a read once bytes flow: three character times (11 bits each), at least
// 20 ms.
int inter_character_gap_ms(long speed);

}  // namespace ravelin
