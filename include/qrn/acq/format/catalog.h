// The built-in catalogue of standard video formats (analog, line-scan and
// test cameras).
//
// Every catalogue format has depth 8, is in the format lists and gives no pel
// type of its own, so its imageFormat() is qeImageFormat_Grey8 unless a
// timing record exists under its name.  The library constructs all of them,
// and the null format (qfNullFormat(), <qrn/acq/format/vidfmt.h>), while it
// is loaded.
//
// Each accessor returns qcStdVideoFormat::getFormat(<its name>): whatever
// format the lists hold under that name, which is a format read from a
// camera configuration file when one of that name was read.  Like getFormat
// it runs the first-use hook (the camera configuration scan) and throws
// qcVideoFormat::NotFound when no format of its name is in the full list.
// Any thread may call them once the library is loaded.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <qrn/acq/format/vidfmt.h>

const qcStdVideoFormat& qfXc75_640x480();          // "Sony XC75 640x480"
const qcStdVideoFormat& qfXcSt50_640x480();        // "Sony XC-ST50 640x480"
const qcStdVideoFormat& qfTm7ex_640x480();         // "Pulnix TM7EX 640x480"
const qcStdVideoFormat& qfStcR640CCFA_640x480();   // "Sentech STC-R640CC-FA 640x480"
const qcStdVideoFormat& qfReserveFormat0();        // "Reserve Camera Format #0"
const qcStdVideoFormat& qfIk542_640x480();         // "Toshiba IK-542 640x480"
const qcStdVideoFormat& qfTm9700_640x480();        // "PULNiX TM-9701 640x480"
const qcStdVideoFormat& qfXc55_640x480();          // "Sony XC55BB 640x480"
const qcStdVideoFormat& qfReserveFormat2();        // "Reserve Camera Format #2"
const qcStdVideoFormat& qfXc75_640x240();          // "Sony XC75 640x240"
const qcStdVideoFormat& qfTm7ex_640x240();         // "Pulnix TM7EX 640x240"
const qcStdVideoFormat& qfXcSt50_640x240();        // "Sony XC-ST50 640x240"
const qcStdVideoFormat& qfTm6cn_760x574();         // "PULNiX TM-6CN 760x574"
const qcStdVideoFormat& qfTm7ex_320x240();         // "Pulnix TM7EX 320x240"
const qcStdVideoFormat& qfXc75_320x240();          // "Sony XC75 320x240"
const qcStdVideoFormat& qfXc75ce_380x287();        // "Sony XC75CE 380x287"
const qcStdVideoFormat& qfXc75ce_760x574();        // "Sony XC75CE 760x574"
const qcStdVideoFormat& qfXc75ce_760x287();        // "Sony XC75CE 760x287"
const qcStdVideoFormat& qfXc75cerr_380x287();      // "Sony XC75CERR 380x287"
const qcStdVideoFormat& qfXc75rr_320x240();        // "Sony XC75RR 320x240"
const qcStdVideoFormat& qfXcSt50_320x240();        // "Sony XC-ST50 320x240"
const qcStdVideoFormat& qfXcSt50rr_320x240();      // "Sony XC-ST50RR 320x240"
const qcStdVideoFormat& qfXcSt50ce_760x574();      // "Sony XC-ST50CE 760x574"
const qcStdVideoFormat& qfXcSt50ce_760x287();      // "Sony XC-ST50CE 760x287"
const qcStdVideoFormat& qfXcSt50ce_380x287();      // "Sony XC-ST50CE 380x287"
const qcStdVideoFormat& qfXcSt50cerr_380x287();    // "Sony XC-ST50CERR 380x287"
const qcStdVideoFormat& qfLSFth_2048();            // "NED LS FTH 2048"
const qcStdVideoFormat& qfDLSScd_2048x2048();      // "Mitsubishi DLS SCD 2048x2048"
const qcStdVideoFormat& qfLSScd_2048();            // "Mitsubishi LS SCD 2048"
const qcStdVideoFormat& qfDLSSpy_2048x2048();      // "Dalsa DLS SP-11 2048x2048"
const qcStdVideoFormat& qfLSTest_2048();           // "Test LS 2048x2048"
const qcStdVideoFormat& qfDLSBasL103_2048x2048();  // "Basler L103 2048x2048"
const qcStdVideoFormat& qfIkm41ma_320x240();       // "Toshiba IK-M41MA 320x240"
const qcStdVideoFormat& qfReserveFormat1();        // "Reserve Camera Format #1"
const qcStdVideoFormat& qfKpf100_1280x1024();      // "Hitachi KP-F100 1280x1024"
const qcStdVideoFormat& qfXc7500_640x480();        // "Sony XC7500 640x480"
const qcStdVideoFormat& qfLSTest_4096();           // "Test LS 4096x4096"
const qcStdVideoFormat& qfLSTest_8192();           // "Test LS 8192x7424"
const qcStdVideoFormat& qfDLSScd_1024x4096();      // "Mitsubishi DLS SCD 1024x4096"
const qcStdVideoFormat& qfDLSSpy_1024x4096();      // "Dalsa DLS SP-11 1024x4096"
const qcStdVideoFormat& qfXc003_640x480();         // "Sony XC-003 640x480"
const qcStdVideoFormat& qfXc003p_760x574();        // "Sony XC-003P 760x574"
const qcStdVideoFormat& qfDxc390_640x480();        // "Sony DXC-390 640x480"
const qcStdVideoFormat& qfRtm5500_640x480();       // "Quorin RTM5500 640x480"
const qcStdVideoFormat& qfReserveFormat4();        // "Reserve Camera Format #4"
const qcStdVideoFormat& qfReserveFormat3();        // "Reserve Camera Format #3"
const qcStdVideoFormat& qfTmc7dsp_632x480();       // "Pulnix TMC-7DSP 632x480"
const qcStdVideoFormat& qfCvm90_640x480();         // "Jai CV-M90 640x480"
const qcStdVideoFormat& qfDLSBasL203_4096x4096();  // "Basler L203 4096x4096"
const qcStdVideoFormat& qfDLSBasL401_4032x4032();  // "Basler L401k-BIC 4032x4032"

QRN_API_END
