// The storage of a video format made from a camera configuration: its name,
// base record, extension records and format objects, kept by name in a
// process-wide map.  A new storage under a name replaces (and destroys) the
// earlier one; its format takes the earlier one's place in the lists.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <memory>
#include <string>

#include <qrn/acq/ccf/vidfmtext.h>
#include <qrn/acq/format/vidfmt.h>
#include <qrn/foundation/handle.h>

// The storage of a video format made from a camera configuration, kept by name for the process.
class qc_vfStorage : public virtual qcRepBase {
public:
  // A storage for the format `name`: the base record made, no extension
  // record and no format yet.  The destructor takes the format out of the
  // lists first, then destroys the records.
  explicit qc_vfStorage(const std::string& name);
  ~qc_vfStorage() override;
  // Not copyable: the lists point at the storage's records.
  qc_vfStorage(const qc_vfStorage&) = delete;
  qc_vfStorage& operator=(const qc_vfStorage&) = delete;

  // The format's name, as given to the constructor.
  const std::string& name() const { return name_; }
  // The base record (width, height, depth -1; batch false; in the lists).
  qc_BaseVideoFormat& base() { return base_; }

  // The extension records, each made on first request.
  qc_VideoExtCIT& cit();
  qc_VideoExtCIToptional& citOptional();
  qc_VidFmtCameraInfo& cameraInfo();  // name parsing on
  qc_VideoExtCamLink& camLink();

  // Builds the internal and the public format (once) and returns the latter,
  // which enters the format lists.
  const qcStdVideoFormat& registerFormat();
  // The public format, or null before registerFormat().
  const qcStdVideoFormat* format() const { return format_.get(); }

  // The storage of a name, or null; putting one replaces (and destroys) the
  // earlier one.  Callers hold the global mutex.
  static qcPtrHandle<qc_vfStorage> find(const std::string& name);
  static void put(const qcPtrHandle<qc_vfStorage>& storage);

private:
  // Destroyed in reverse: the format leaves the lists before anything it
  // points at goes.
  std::string name_;
  qc_BaseVideoFormat base_;
  std::unique_ptr<qc_VideoExtCIT> cit_;
  std::unique_ptr<qc_VideoExtCIToptional> citOpt_;
  std::unique_ptr<qc_VidFmtCameraInfo> camInfo_;
  std::unique_ptr<qc_VideoExtCamLink> camLink_;
  std::unique_ptr<qc_VideoFormat> internal_;
  std::unique_ptr<qcStdVideoFormat> format_;
};

QRN_API_END
