// Video formats: the named ways of driving a camera.
//
// A video format gives the image geometry and pixel depth, whether the camera
// is scanned interlaced or at half resolution, and, through extension records
// found by the format's name (<qrn/acq/ccf/vidfmtext.h>), the camera timing
// and the camera's identity.  Formats are process-wide objects identified by
// their name ("Sony XC75 640x480"); they live as long as the library (formats
// read from camera configuration files as long as their storage) and never
// change after construction.
//
// Look a format up with qcStdVideoFormat::getFormat(name) or take it from a
// catalogue accessor (<qrn/acq/format/catalog.h>); ask a frame grabber
// whether it supports it; create acquisition FIFOs from it.
//
// Threads: the format lists change only while formats are constructed or
// destroyed (library load, the camera configuration scan) and are read
// without a lock afterwards.  The first lookup of the process runs the
// camera configuration scan under the foundation's global mutex.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <string>
#include <vector>

#include <qrn/foundation/exception.h>

// ---- image types ------------------------------------------------------------

// Public image format numbering.  There is no value 0; 17 to 19 exist without
// names.
enum qeImageFormat : int {
  qeImageFormat_Unspecified = -1,
  qeImageFormat_Grey8 = 1,
  qeImageFormat_Grey16 = 2,
  qeImageFormat_PackedRGB16 = 3,
  qeImageFormat_PackedRGB32 = 4,
  qeImageFormat_Raw8 = 5,
  qeImageFormat_Raw16 = 6,
  qeImageFormat_UYYVYY = 7,
  qeImageFormat_UYVY = 8,
  qeImageFormat_UYV = 9,
  qeImageFormat_RGB24 = 10,
  qeImageFormat_RGB48 = 11,
  qeImageFormat_3Plane = 12,
  qeImageFormat_Grey10 = 13,
  qeImageFormat_Grey12 = 14,
  qeImageFormat_BGR24 = 15,
  qeImageFormat_Grey16BigEndian = 16,
  // 14 significant bits in 16 (cameras' Mono14), apart from the numbered
  // range 1 to 19; a FIFO asked for it delivers 16-bit grey.
  qeImageFormat_Grey14 = 32,
};

// Internal pel type numbering (the drivers' image types).  0 to 15 are the
// pel type names of camera configuration files ("mono", "RGBpacked", ...);
// 16 to 18 exist without names.
enum qe_pelType : int {
  qe_pelType_unspecified = -1,
  qe_pelType_mono = 0,
  qe_pelType_RGBpacked = 1,
  qe_pelType_RGBplanar = 2,
  qe_pelType_UYVY = 3,
  qe_pelType_RAW8 = 4,
  qe_pelType_UYYVYY = 5,
  qe_pelType_UYV = 6,
  qe_pelType_RGB24 = 7,
  qe_pelType_RGBpacked16 = 8,
  qe_pelType_mono16 = 9,
  qe_pelType_RAW16 = 10,
  qe_pelType_RGB48 = 11,
  qe_pelType_mono10 = 12,
  qe_pelType_mono12 = 13,
  qe_pelType_mono16bigendian = 14,
  qe_pelType_BGR24 = 15,
};

// Whether `fmt` is an image format of the numbering above: 1..19 or
// qeImageFormat_Grey14 (not qeImageFormat_Unspecified).
bool qf_isImageFormat(qeImageFormat fmt);
// -1 gives -1, 1..19 their pel types and qeImageFormat_Grey14 mono16; any
// other value fires a debug assertion and gives -1.
long qf_convertToInternalImageType(qeImageFormat fmt);
// 0..18 give their public formats; every other value (-1 included) gives -1.
qeImageFormat qf_convertToPublicImageType(long pelType);

// ---- format records -----------------------------------------------------------

class qcFrameGrabber;
class qcAcqFifo;
class qcGreyAcqFifo;
class qcStdGreyAcqFifo;
class qcStdGrey16AcqFifo;
class qcStdRGB16AcqFifo;
class qcStdRGB32AcqFifo;
class qcStd3PlaneAcqFifo;
class qc_VideoExtCIT;
class qc_VideoExtCIToptional;
class qc_VidFmtCameraInfo;
class qc_VideoExtCamLink;

// The plain record behind a format.  Built-in formats keep theirs as constant
// static data; formats made from configuration files allocate theirs (the
// name with new[]) and free it with qc_VideoFormat::destroyBase().
struct qc_BaseVideoFormat {
  const char* name;      // the format's name; its identity
  long width;            // pixels
  long height;           // lines
  long depth;            // bits per pixel
  bool interlaced;       // the camera is scanned interlaced
  bool halfRes;          // half-resolution (one field) format
  bool addToFullList;    // entered in the format lists when constructed
  bool isValidForBatch;  // may be used for batch acquisition
};

// The internal format: the base record, the extension records found under
// its name at construction, and the pel type it gives (-1 for none).
class qc_VideoFormat {
public:
  // Keeps a pointer to `base` (which must outlive the format) and looks up
  // the CIT, optional CIT, camera information and Camera Link records under
  // the base record's name, in that order.  Records registered later are not
  // seen.
  qc_VideoFormat(const qc_BaseVideoFormat& base, qe_pelType pelType);
  // A format is not copied: public formats point at it.
  qc_VideoFormat(const qc_VideoFormat&) = delete;
  qc_VideoFormat& operator=(const qc_VideoFormat&) = delete;

  // The base record's fields (see qc_BaseVideoFormat): the name (the
  // format's identity), width in pixels, height in lines, depth in bits per
  // pixel, and the interlaced, half-resolution, full-list and batch flags.
  const char* name() const { return base_->name; }
  long width() const { return base_->width; }
  long height() const { return base_->height; }
  long depth() const { return base_->depth; }
  bool interlaced() const { return base_->interlaced; }
  bool halfRes() const { return base_->halfRes; }
  bool addToFullList() const { return base_->addToFullList; }
  bool isValidForBatch() const { return base_->isValidForBatch; }

  // Extension records; null when none exists under the format's name.
  const qc_VideoExtCIT* fmtCIT() const { return cit_; }
  const qc_VideoExtCIToptional* fmtCITopt() const { return citOpt_; }
  const qc_VidFmtCameraInfo* fmtCamInfo() const { return camInfo_; }
  const qc_VideoExtCamLink* fmtCamLink() const { return camLink_; }
  // The pel type given at construction (qe_pelType_unspecified for none).
  qe_pelType pelType() const { return pelType_; }

  // Deletes the base record's name (new[]) and the base record (new).  Only
  // for allocated base records; the format must not be used afterwards.
  void destroyBase();

private:
  const qc_BaseVideoFormat* base_;
  const qc_VideoExtCIT* cit_;
  const qc_VideoExtCIToptional* citOpt_;
  const qc_VidFmtCameraInfo* camInfo_;
  const qc_VideoExtCamLink* camLink_;
  qe_pelType pelType_;
};

// ---- public formats -----------------------------------------------------------

// A video format as applications see it.  It points at its qc_VideoFormat and
// does not own it.  Formats are not copyable: each object is one entry of the
// format lists, and equality is identity.
class qcVideoFormat {
public:
  // Thrown by the FIFO factories when a frame grabber does not support the
  // format.
  QC_EXCEPTION(NotSupported, qcException, 0x10000981);
  // Thrown by qcStdVideoFormat::getFormat (also while following an alias)
  // when no format has the name.
  QC_EXCEPTION(NotFound, qcException, 0x100009A8);

  // Slot 1: makes a FIFO for the frame grabber; the caller owns it.
  virtual qcAcqFifo* newAcqFifoCovar(qcFrameGrabber& fg) const = 0;
  // Removes the format from the full format list (when it is there).
  virtual ~qcVideoFormat();

  // Not copyable: each object is one entry of the format lists.
  qcVideoFormat(const qcVideoFormat&) = delete;
  qcVideoFormat& operator=(const qcVideoFormat&) = delete;

  // Values of the format's own internal form (never the alias target's).
  const char* name() const;
  long width() const;
  long height() const;
  long depth() const;

  // Camera identity from the format's own camera information record: null
  // when there is no record or the string is empty.
  const char* cameraManufacturer() const;
  const char* cameraModel() const;
  const char* videoFormatResolution() const;
  const char* videoFormatDriveType() const;
  const char* videoFormatOptions() const;
  // True when the camera information record says the format came from a
  // camera configuration file; false without a record.
  bool formatFromCCF() const;

  // Identity: a format equals only itself, even when another has its name.
  bool operator==(const qcVideoFormat& o) const { return this == &o; }
  bool operator!=(const qcVideoFormat& o) const { return this != &o; }

  // The internal format.  With followAlias true, a format whose camera
  // information names an alias returns the alias's internal(true), following
  // chains; throws NotFound when an alias names no format.
  const qc_VideoFormat& internal(bool followAlias) const;

  // False when the grabber has no driver object; otherwise the driver's
  // answer for internal(true).
  bool isSupportedForLegacy(qcFrameGrabber& fg) const;

  // Calls newAcqFifoCovar.  The caller owns the FIFO.
  qcAcqFifo* newAcqFifo(qcFrameGrabber& fg) const;

  // The full format list: every format constructed with addToFullList true,
  // at most one per name, sorted by name in strcmp order.  Runs the
  // first-use hook first.  The reference stays valid; the list changes when
  // formats are constructed or destroyed.
  static const std::vector<const qcVideoFormat*>& fullList();
  // The elements of `list`, in order, that `fg` supports.
  static std::vector<const qcVideoFormat*> filterList(const std::vector<const qcVideoFormat*>& list,
                                                      qcFrameGrabber& fg);

protected:
  // Enters the format in the full format list when addToFullList is true
  // (replacing a format of the same name).  `vf` must outlive the format.
  explicit qcVideoFormat(const qc_VideoFormat& vf);

  // fg.isSupported(*this).
  bool isSupported(qcFrameGrabber& fg) const;

private:
  const qc_VideoFormat* internal_;
};

// A video format of grey images.
class qcGreyVideoFormat : public qcVideoFormat {
public:
  // Slot 2: makes a grey FIFO for the frame grabber; the caller owns it.
  virtual qcGreyAcqFifo* newAcqFifoCovar2(qcFrameGrabber& fg) const = 0;

  // Calls newAcqFifoCovar2.
  qcGreyAcqFifo* newAcqFifo(qcFrameGrabber& fg) const;

protected:
  // As qcVideoFormat's: enters the format in the full list when addToFullList
  // is true; `vf` must outlive the format.
  explicit qcGreyVideoFormat(const qc_VideoFormat& vf) : qcVideoFormat(vf) {}
};

// A standard grey video format: makes grey acquisition FIFOs.
class qcStdGreyVideoFormat : public qcGreyVideoFormat {
public:
  // Both slots make a standard grey FIFO (see newAcqFifo).
  qcAcqFifo* newAcqFifoCovar(qcFrameGrabber& fg) const override;
  qcGreyAcqFifo* newAcqFifoCovar2(qcFrameGrabber& fg) const override;

  // A new standard grey FIFO; throws NotSupported unless fg supports the
  // format.  The caller owns it.
  qcStdGreyAcqFifo* newAcqFifo(qcFrameGrabber& fg) const;

protected:
  // As qcVideoFormat's: enters the format in the full list when addToFullList
  // is true; `vf` must outlive the format.
  explicit qcStdGreyVideoFormat(const qc_VideoFormat& vf) : qcGreyVideoFormat(vf) {}
};

// A standard video format, found by name (getFormat); makes the typed acquisition FIFOs of every
// pel kind.
class qcStdVideoFormat : public qcStdGreyVideoFormat {
public:
  // Packing selector of the RGB16 factory (newAcqFifo(fg, qeRGB16Pack_Default));
  // the value does not change the result.
  enum qeRGB16Pack { qeRGB16Pack_Default };
  // Packing selector of the RGB32 factory (newAcqFifo(fg, qeRGB32Pack_Default));
  // the value does not change the result.
  enum qeRGB32Pack { qeRGB32Pack_Default };

  // Enters the format in the full and standard lists when addToFullList is
  // true (replacing formats of the same name).  `vf` must outlive the format.
  explicit qcStdVideoFormat(const qc_VideoFormat& vf);
  // Removes the format from the standard list (when it is there).
  ~qcStdVideoFormat() override;

  // Runs the first-use hook, then returns the format of that name from the
  // full list.  Throws qcVideoFormat::NotFound when there is none.
  static const qcStdVideoFormat& getFormat(const std::string& name);

  // On internal(true): true when a CIT record exists and its pel type is not
  // "mono".
  bool isColor() const;
  // On internal(true): the CIT's pel type converted, else the format's own
  // pel type converted when it is not -1, else qeImageFormat_Grey8.
  qeImageFormat imageFormat() const;

  // FIFO factories; the caller owns the FIFO.  They throw
  // qcVideoFormat::NotSupported when the grabber does not support the
  // format (new3PlaneAcqFifo asks nothing; newGrey16AcqFifo always throws).
  // newAcqFifo(fg) makes a standard grey FIFO, newAcqFifo(fg, pack) a
  // standard RGB16 or RGB32 one.
  using qcStdGreyVideoFormat::newAcqFifo;
  qcStdRGB16AcqFifo* newAcqFifo(qcFrameGrabber& fg, qeRGB16Pack pack) const;
  qcStdRGB32AcqFifo* newAcqFifo(qcFrameGrabber& fg, qeRGB32Pack pack) const;
  // Always throws NotSupported (newAcqFifoEx with qeImageFormat_Grey16 makes
  // a 16-bit grey FIFO).
  qcStdGrey16AcqFifo* newGrey16AcqFifo(qcFrameGrabber& fg) const;
  // A new three-plane FIFO.  The grabber is not asked first: its driver
  // refuses a format it cannot serve when the FIFO is made.
  qcStd3PlaneAcqFifo* new3PlaneAcqFifo(qcFrameGrabber& fg) const;
  // A new FIFO of image format `fmt` (qeImageFormat_Unspecified:
  // imageFormat()): the standard FIFO for Grey8, PackedRGB16, PackedRGB32 and
  // 3Plane, for other formats a generic FIFO made by the grabber's driver.
  // Throws qcVideoFormat::NotSupported unless isSupportedEx(fg, fmt), and
  // qcAcqFifo::CouldNotCreate when the grabber has no driver or the driver
  // makes no FIFO.
  qcAcqFifo* newAcqFifoEx(qcFrameGrabber& fg, qeImageFormat fmt) const;

  // The standard format list (same rules as qcVideoFormat::fullList()).
  static const std::vector<const qcStdVideoFormat*>& fullList();
  // The elements of `list`, in order, that `fg` supports.
  static std::vector<const qcStdVideoFormat*> filterList(const std::vector<const qcStdVideoFormat*>& list,
                                                         qcFrameGrabber& fg);
  // The elements of `list`, in order, that `fg` supports with image format
  // `fmt`.
  static std::vector<const qcStdVideoFormat*> filterListEx(const std::vector<const qcStdVideoFormat*>& list,
                                                           qcFrameGrabber& fg, qeImageFormat fmt);

protected:
  // fg.isSupportedEx(*this, fmt).
  bool isSupportedEx(qcFrameGrabber& fg, qeImageFormat fmt) const;
};

// The format of that name in the full list, or null.  Exact, case-sensitive
// comparison.  Does not run the first-use hook.
const qcVideoFormat* qf_getFormat(const std::string& name);

// The null format "Quorin NullFormat": 1x1, depth 8, pel type 0x1001.
const qcStdVideoFormat& qfNullFormat();

// Reads the camera configuration files of the standard directories and makes
// their formats.  Returns false, reading nothing, when the environment
// variable "QUORIN_DISALLOW_CCF_READING" is set.  Called by the first-use
// hook under the global mutex.
bool qf_CcfForceStdDirRead();

QRN_API_END
