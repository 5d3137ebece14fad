// Input from a pipe: standard input ("-"), a FIFO or a socket delivers its
// bytes once, while detection and reading each want them from the start. The
// bytes are copied once into a work file of the run, which is then read as
// the input.
#pragma once

namespace kelm {

// True when `input` must be copied before it is read: "-", or a path that
// names a pipe.
bool input_needs_spool(const char* input);

// Copies what `input` delivers into `spool` (a work file of the run that
// exists). `shown` names the input in messages. 0; -1 after the message when
// the input cannot be read (a terminal or a device as standard input
// included) or the copy cannot be written.
int spool_input(const char* input, const char* shown, const char* spool);

}  // namespace kelm
