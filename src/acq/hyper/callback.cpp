#include <qrn/acq/hyper/callback.h>

// Anchors the vtable of qcCallback in the library.
qcCallback::~qcCallback() = default;
