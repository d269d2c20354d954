#include <qrn/foundation/handle.h>

#include <stdexcept>

long qfInterlockedIncrement(std::atomic<long>* p) { return p->fetch_add(1, std::memory_order_acq_rel) + 1; }
long qfInterlockedDecrement(std::atomic<long>* p) { return p->fetch_sub(1, std::memory_order_acq_rel) - 1; }

void qrn_detail::throwNullHandle() { throw std::logic_error("dereferencing an empty qcPtrHandle"); }
