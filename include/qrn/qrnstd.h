// Umbrella header of the foundation library qrnstd.
#pragma once

#include <qrn/foundation/archive.h>
#include <qrn/foundation/board.h>
#include <qrn/foundation/exception.h>
#include <qrn/foundation/geometry.h>
#include <qrn/foundation/handle.h>
#include <qrn/foundation/misc.h>
#include <qrn/foundation/pelbuffer.h>
#include <qrn/foundation/thread.h>
