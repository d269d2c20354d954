// The Camera Link simulator, driven through its driver library.
//
// The driver library "libclsim.so" is not part of this module: it is loaded
// by name at run time (the dynamic loader's search path applies) when init()
// is called.  Its entry points are C functions with the signatures below; an
// implementation of the library provides all eleven.  Each answers an int;
// qcCLSim examines only CLSimOpenCOM's.
//
// Thread use: the entry points are resolved into one table shared by every
// qcCLSim of the process, so init() must not run while another qcCLSim of
// the process is used from another thread.  Nothing here throws.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

extern "C" {
// Data coming back on the simulator's serial port.
typedef void (*qf_CLSimCallback)(long port, const char* data, long length);

// CLSimInit: starts the library; init() calls it once before opening the port.
typedef int (*qf_CLSimInit)(void);
// CLSimOpenCOM: opens the simulator's serial port `port`; `callback` receives
// the data coming back.
typedef int (*qf_CLSimOpenCOM)(long port, qf_CLSimCallback callback);  // nonzero: opened
// CLSimCloseCOM: closes the serial port (the destructor's first call).
typedef int (*qf_CLSimCloseCOM)(long port);
// CLSimGetParam: reads simulator parameter `param` of `port` into *value.
// Required of the library, but qcCLSim does not call it.
typedef int (*qf_CLSimGetParam)(long port, long param, long* value);
// CLSimSetCamera: selects the simulated camera by name (a video format name).
typedef int (*qf_CLSimSetCamera)(long port, const char* cameraName);
// CLSimTerminate: shuts the library down (the destructor's last call).
typedef int (*qf_CLSimTerminate)(void);
// CLSimSetPattern: the test pattern of one tap: the pattern kind, and its
// values from `low` to `high` in steps of `step` (setCLSimFormat() uses
// kind 3, 0 to 255 by 1).
typedef int (*qf_CLSimSetPattern)(long port, long tap, long pattern, long low, long high, long step);
// CLSimSetRollMode: sets the roll mode of `port` (setCLSimFormat() uses 1).
typedef int (*qf_CLSimSetRollMode)(long port, long mode);
// CLSimSave: saves the simulator of `port` to the file `path`.
// Required of the library, but qcCLSim does not call it.
typedef int (*qf_CLSimSave)(long port, const char* path);
// Writes the camera's asynchronous-mode string into buffer (size bytes).
typedef int (*qf_CLSimGetAsyncString)(const char* cameraName, long index, char* buffer, long size);
// CLSimSetAsyncMode: sets asynchronous mode `mode` on `port` for the camera,
// with a string that CLSimGetAsyncString gave.
typedef int (*qf_CLSimSetAsyncMode)(long port, const char* cameraName, const char* asyncString, long mode);
}

// The Camera Link simulator, driven through its driver library libclsim.so (loaded by init()).
class qcCLSim {
public:
  // Not initialised, no port (-1), no library loaded.
  qcCLSim();
  // When initialised: CLSimCloseCOM(port), then CLSimTerminate(); then the
  // library is released.
  ~qcCLSim();
  // A simulator is not copied: it owns its port and its library reference.
  qcCLSim(const qcCLSim&) = delete;
  qcCLSim& operator=(const qcCLSim&) = delete;

  // Loads the library and opens the simulator on `port`: CLSimInit(), then
  // CLSimOpenCOM(port, callback that ignores its data).  Does nothing when
  // already initialised.  When the library cannot be loaded, lacks an entry
  // point, or the open answers zero, the object stays not initialised.
  void init(long port);
  // True after a successful init().
  bool isInited() const { return inited_; }
  // The port given to a successful init(); -1 before.
  long port() const { return port_; }

  // Sets the simulated camera: CLSimSetCamera, CLSimSetPattern(port, tap, 3,
  // 0, 255, 1) for taps 0..3, CLSimSetRollMode(port, 1), CLSimGetAsyncString
  // into a 128-byte buffer, CLSimSetAsyncMode(port, name, buffer, 1).  The
  // library's answers are not examined.  False, and no call, when not
  // initialised (or formatName is null).
  bool setCLSimFormat(const char* formatName);

private:
  long port_;
  bool inited_;
  void* lib_;
};

QRN_API_END
