// A link file that includes an OS header: the check must refuse it.
#pragma once
#include <termios.h>
