// Printers recognised by the IEEE 1284 device IDs real ones report.
#include <gtest/gtest.h>

#include "device_id.h"
#include "drivers.h"

namespace quorvane::app {
namespace {

TEST(DeviceId, RealPrintersGetTheirModel) {
  struct Case {
    const char *id;
    const char *driver;  // null: nothing is added
  } cases[] = {
      {"MFG:EPSON;CMD:ESC/POS;MDL:TM-T88V;CLS:PRINTER;DES:EPSON TM-T88V;", "qv80rcpt"},
      {"MANUFACTURER:Xprinter;COMMAND SET:ESC/POS;MODEL:XP-58IIH;", "qv58rcpt"},
      {"MFG:POS;CMD:ESC/POS,PCL;MDL:POS-58;", "qv58rcpt"},
      {"MFG:MARKLIFE ;CMD:XPP,XL;MDL:X4;CLS:PRINTER;DES:LABEL PRINTER;", "qv4tspl"},
      {"MFG: ;CMD:XPP,XL;MDL:PM-241-BT;CLS:PRINTER;DES:PM-241-BT;", "qv4tspl"},
      {"MFG:Deli ;CMD:XPP,XL;MDL:DL-888B(NEW);CLS:PRINTER;", "qv4tspl"},
      {"MFG:Printer;MDL:Thermal Printer;CMD:XPP,XL;", "qv4tspl"},
      {"mfg:Label;cmd: TSPL2 ;mdl:LP-400;", "qv4tspl"},
      {"MFG:quorvane;CMD:ORX;MDL:ORX Label Printer;CLS:PRINTER;", "qvorxlbl"},
      {"MFG:quorvane;CMD:TSPL;MDL:4in TSPL Label 300dpi;", "qv4tspl3"},
      {"MFG:Acme;CMD:TSPL2;MDL:LP-300;DES:300 dpi label printer;", "qv4tspl3"},
      {"MFG:VEVOR ;CMD: ;MODEL:Y428BT;DES:LabelPrinter;", nullptr},
      {"MFG:HP;CMD:PCL,PJL,POSTSCRIPT;MDL:LaserJet;", nullptr},
      {"", nullptr},
  };
  for (const Case &c : cases) {
    const auto driver = match_model(parse_device_id(c.id), model_traits());
    if (c.driver) EXPECT_EQ(driver.value_or("(none)"), c.driver) << c.id;
    else EXPECT_FALSE(driver) << c.id << " -> " << driver.value_or("");
  }
}

TEST(DeviceId, ToleratesPaddingAndLongKeys) {
  const DeviceId id = parse_device_id(" MANUFACTURER : Acme ;COMMAND SET: ESC/POS , TSPL ;MODEL:T-80 ; DES:x;junk");
  EXPECT_EQ(id.manufacturer, "Acme");
  EXPECT_EQ(id.model, "T-80");
  EXPECT_EQ(id.commands, (std::vector<std::string>{"ESC/POS", "TSPL"}));
}

}  // namespace
}  // namespace quorvane::app
