// The custom property bag (items, text form, parsing) and the custom property.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include <qrn/acq/hyper/prop/custom.h>

#include "propsx_archive.h"
#include "propsx_fake_fifo.h"

using Bag = qcCustomPropertyBag;

namespace {

Bag gainAndReset() {
  Bag bag;
  bag.addItem(Bag::qeWrite, "gain", "12");
  bag.addItem(Bag::qeCommand, "reset", "");
  return bag;
}

}  // namespace

TEST(CustomBag, TextFormAndBack) {
  const Bag bag = gainAndReset();
  EXPECT_EQ(bag.toString(), "Write\tgain\t12\n\rCommand\treset\n\r");

  Bag back;
  back.addItem(Bag::qeCommand, "stale", "");  // fromString replaces the items
  back.fromString(bag.toString());
  ASSERT_EQ(back.getItemCount(), 2);
  EXPECT_EQ(back.getType(0), Bag::qeWrite);
  EXPECT_EQ(back.getName(0), "gain");
  EXPECT_EQ(back.getValue(0), "12");
  EXPECT_EQ(back.getType(1), Bag::qeCommand);
  EXPECT_EQ(back.getName(1), "reset");
  EXPECT_EQ(back.getValue(1), "");

  EXPECT_EQ(Bag().toString(), "");
  back.fromString("");
  EXPECT_EQ(back.getItemCount(), 0);
}

// Every item the bag accepts reads back the same from its text form,
// including the awkward ones.
TEST(CustomBag, RoundTripOfAwkwardItems) {
  struct Item {
    Bag::qeType type;
    std::string name, value;
  };
  const std::vector<std::vector<Item>> cases = {
      {{Bag::qeWrite, "lut", "a\tb\tc"}},                           // tabs in a value
      {{Bag::qeWrite, "", "1"}, {Bag::qeWrite, "x", ""}},           // empty name, empty value
      {{Bag::qeCommand, "", ""}, {Bag::qeCommand, "do\tit", ""}},   // empty command, tab in a command name
      {{Bag::qeWrite, "cr", "v\r"}, {Bag::qeWrite, "\rname", "w"}},  // carriage returns inside items
      {{Bag::qeWrite, std::string("n\0ul", 4), "\x01\xff"}},        // any other byte
      {{Bag::qeWrite, "Write", "Command"}},                         // keywords as data
  };
  for (const auto& items : cases) {
    Bag bag;
    for (const auto& it : items) bag.addItem(it.type, it.name, it.value);
    Bag back;
    back.fromString(bag.toString());
    EXPECT_EQ(back, bag) << bag.toString();
  }
}

TEST(CustomBag, MalformedTextThrowsAndKeepsItemsBeforeTheFault) {
  struct Case {
    std::string text;
    long itemsKept;
  };
  const std::vector<Case> cases = {
      {"Read\tx\n\r", 0},                             // unknown keyword
      {"Write\tgain\n\r", 0},                         // write without a value
      {"Write\tgain", 0},                             // write without a value, no line end
      {"Write\tgain\n\rWrite\tx\ty\n\r", 0},          // value missing: the name would run into the next line
      {"Command", 0},                                 // command without a name
      {"\n\r", 0},                                    // an empty keyword
      {"Write\ta\t1\n\rCommand\tgo\n\rBogus\t1\n\r", 2},  // fault on the third line
  };
  for (const auto& c : cases) {
    Bag bag = gainAndReset();
    try {
      bag.fromString(c.text);
      ADD_FAILURE() << "no exception for " << c.text;
    } catch (const Bag::BadParams& e) {
      EXPECT_EQ(e.errorNumber(), 0x100009BAu);
    }
    EXPECT_EQ(bag.getItemCount(), c.itemsKept) << c.text;
  }
  // What the reader tolerates: a last line without its line end.
  Bag bag;
  bag.fromString("Write\ta\tb");
  ASSERT_EQ(bag.getItemCount(), 1);
  EXPECT_EQ(bag.getValue(0), "b");
}

TEST(CustomBag, IndexOutOfRangeThrows) {
  const Bag bag = gainAndReset();
  for (long i : {-1L, 2L, LONG_MIN, LONG_MAX}) {
    EXPECT_THROW(bag.getName(i), Bag::BadParams) << i;
    EXPECT_THROW(bag.getValue(i), Bag::BadParams) << i;
    EXPECT_THROW(bag.getType(i), Bag::BadParams) << i;
  }
}

// Items that the text form could not carry (they would read back otherwise,
// or inject further items) are refused.
TEST(CustomBag, UnrepresentableItemsAreRefused) {
  struct Case {
    Bag::qeType type;
    std::string name, value;
  };
  const std::vector<Case> cases = {
      {Bag::qeWrite, "a\tb", "1"},
      {Bag::qeWrite, "a\nb", "1"},
      {Bag::qeWrite, "a", "1\nWrite\tinjected\t2"},
      {Bag::qeCommand, "go\n", ""},
      {Bag::qeCommand, "go", "value"},
      {static_cast<Bag::qeType>(7), "a", "1"},
  };
  for (const auto& c : cases) {
    Bag bag = gainAndReset();
    EXPECT_THROW(bag.addItem(c.type, c.name, c.value), Bag::BadParams) << c.name;
    EXPECT_EQ(bag, gainAndReset());
  }
}

TEST(CustomProp, ChangesReachTheFifoOnceWithTheWholeBag) {
  propsx::FakeFifo fifo;
  qcCustomProp prop;
  prop.customValues(gainAndReset());  // free: nothing to tell
  prop.fifo(fifo);
  EXPECT_TRUE(fifo.calls.empty());  // association sends nothing

  Bag one;
  one.addItem(Bag::qeCommand, "snap", "");
  prop.customValues(one);
  EXPECT_EQ(fifo.calls, std::vector<std::string>{"update(custom)"});
  ASSERT_EQ(fifo.customBags.size(), 1u);
  EXPECT_EQ(fifo.customBags[0], one);  // stored before the FIFO hears
  EXPECT_EQ(prop.customValues(), one);

  // A copy is free; assigning into the associated property tells the FIFO once.
  qcCustomProp copy(prop);
  copy.customValues(gainAndReset());
  EXPECT_EQ(fifo.calls.size(), 1u);
  prop = copy;
  EXPECT_EQ(fifo.calls.size(), 2u);
  EXPECT_EQ(fifo.customBags.back(), gainAndReset());
  const qcCustomProp& itself = prop;
  prop = itself;  // self-assignment: nothing
  EXPECT_EQ(fifo.calls.size(), 2u);

  // The FIFO's error passes through.
  fifo.failOn = "update";
  EXPECT_THROW(prop.customValues(one), propsx::FifoRefused);

  prop.clearFifoAssociation();
  prop.customValues(one);
  EXPECT_EQ(fifo.calls.size(), 3u);
}

TEST(CustomProp, ArchiveRoundTripTellsTheFifoOnce) {
  qcCustomProp src;
  Bag bag = gainAndReset();
  bag.addItem(Bag::qeWrite, "lut", "1\t2\t3");
  src.customValues(bag);
  const std::string bytes = propsx::storeObject(src);

  propsx::FakeFifo fifo;
  qcCustomProp dst;
  dst.fifo(fifo);
  propsx::loadObject(dst, bytes);
  EXPECT_EQ(dst.customValues(), bag);
  EXPECT_EQ(fifo.calls, std::vector<std::string>{"update(custom)"});
}

TEST(CustomProp, BadArchivesThrowAndChangeNothing) {
  auto raw = [](unsigned char version, const std::string& text) {
    return propsx::archiveBytes([&](qcArchive& ar) {
      ar << version;
      ar << text;
    });
  };
  const std::string good = raw(0, "Write\ta\t1\n\r");
  struct Case {
    const char* what;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      // Only the version byte: a read of any field would be a truncation.
      {"unknown version", propsx::archiveBytes([](qcArchive& ar) { ar << static_cast<unsigned char>(1); })},
      {"malformed text", raw(0, "Write\ta\t1\n\rRead\tx\n\r")},
      {"truncated string", good.substr(0, good.size() - 3)},
      {"no version byte", propsx::archiveBytes([](qcArchive&) {})},
  };
  for (const auto& c : cases) {
    propsx::FakeFifo fifo;
    qcCustomProp prop;
    prop.customValues(gainAndReset());
    prop.fifo(fifo);
    try {
      propsx::loadObject(prop, c.bytes);
      ADD_FAILURE() << c.what << ": no exception";
    } catch (const qcArchive::UnknownVersion& e) {
      EXPECT_STREQ(c.what, "unknown version");
      EXPECT_EQ(e.where(), "acq/hyper/prop/custom");
    } catch (const qcArchive::BadData&) {
      EXPECT_TRUE(std::string(c.what) == "truncated string" || std::string(c.what) == "no version byte") << c.what;
    } catch (const Bag::BadParams&) {
      EXPECT_STREQ(c.what, "malformed text");
    }
    EXPECT_EQ(prop.customValues(), gainAndReset()) << c.what;
    EXPECT_TRUE(fifo.calls.empty()) << c.what;
  }
}

TEST(CustomProp, PersistenceRegistration) {
  EXPECT_NE(qc_Instantiator::find("qcCustomProp"), nullptr);
  EXPECT_NE(qc_Instantiator::find("qcCustomPropertyBag::BadParams"), nullptr);
  EXPECT_EQ(Bag::BadParams().messageString(), "qcCustomPropertyBag::BadParams");
}
