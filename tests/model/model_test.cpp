// Initial values, ownership and release order of the model classes.
#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

#include "qtx/QTXLibrary.h"

namespace {

static_assert(!std::is_copy_constructible_v<CQTXGeneral> && !std::is_copy_assignable_v<CQTXGeneral>);
static_assert(!std::is_copy_constructible_v<CQTXSection> && !std::is_copy_assignable_v<CQTXSection>);
static_assert(!std::is_copy_constructible_v<CQTXChannel> && !std::is_copy_assignable_v<CQTXChannel>);
static_assert(std::has_virtual_destructor_v<CQTXSection> && std::has_virtual_destructor_v<CQTXChannel>);
static_assert(!std::has_virtual_destructor_v<CQTXGeneral>);
static_assert(std::is_same_v<decltype(CQTXChannel::m_nSamples), std::uint32_t>);
static_assert(std::is_same_v<decltype(CQTXSection::m_nDataLine), std::uint32_t>);
static_assert(std::is_same_v<decltype(CQTXSection::m_nDataPosition), std::uint64_t>);

// Objects that write their name into a shared log when they are destroyed.
using Log = std::vector<std::string>;

class LoggedChannel : public CQTXChannel {
 public:
  LoggedChannel(Log& log, std::string name) : m_log(log), m_name(std::move(name)) {}
  ~LoggedChannel() override { m_log.push_back(m_name); }

 private:
  Log& m_log;
  std::string m_name;
};

class LoggedBlock : public CObject {
 public:
  LoggedBlock(Log& log, std::string name) : m_log(log), m_name(std::move(name)) {}
  ~LoggedBlock() override { m_log.push_back(m_name); }

 private:
  Log& m_log;
  std::string m_name;
};

class LoggedSection : public CQTXSection {
 public:
  LoggedSection(Log& log, std::string name) : m_log(log), m_name(std::move(name)) {}
  ~LoggedSection() override { m_log.push_back(m_name); }

 private:
  Log& m_log;
  std::string m_name;
};

TEST(Model, NewGeneralHasDefaults) {
  const CQTXGeneral qtx;
  EXPECT_EQ(qtx.m_arrSections.GetSize(), 0);
  EXPECT_FALSE(qtx.m_bQTXFile);
  EXPECT_EQ(qtx.m_dReaderVersion, 0.92);
  EXPECT_EQ(qtx.m_dWriterVersion, 0.92);
  EXPECT_FALSE(qtx.m_bEndOfHeader);
  EXPECT_FALSE(qtx.m_bEndOfSectionHeader);
  EXPECT_FALSE(qtx.m_bMultiHeadings);
  EXPECT_EQ(qtx.m_strSeparator.GetLength(), 1);
  EXPECT_EQ(qtx.m_strSeparator, "\t");
  EXPECT_EQ(qtx.m_strSeparatorName, "Tab");
  EXPECT_EQ(qtx.m_nXColumns, 0);
  EXPECT_FALSE(qtx.m_bInSpecial);
}

TEST(Model, NewSectionAndChannelHaveDefaults) {
  const CQTXSection section;
  EXPECT_EQ(section.m_nChannels, 0);
  EXPECT_EQ(section.m_arrChannels.GetSize(), 0);
  EXPECT_EQ(section.m_ppChannelBlocks, nullptr);
  EXPECT_EQ(section.m_nDataLine, 0u);
  EXPECT_EQ(section.m_nDataPosition, 0u);

  const CQTXChannel channel;
  for (const CString* text : {&channel.m_strXUnitLabel, &channel.m_strXDimension, &channel.m_strYUnitLabel,
                              &channel.m_strYDimension, &channel.m_strXHeading, &channel.m_strYHeading})
    EXPECT_TRUE(text->IsEmpty());
  EXPECT_EQ(channel.m_dX0, 0.0);
  EXPECT_EQ(channel.m_dDeltaX, 0.0);
  EXPECT_EQ(channel.m_nIndex, -1);
  EXPECT_EQ(channel.m_nAux, 0);
  EXPECT_EQ(channel.m_nSamples, 0u);
  EXPECT_EQ(channel.m_pXValues, nullptr);
  EXPECT_EQ(channel.m_pYValues, nullptr);
  EXPECT_EQ(channel.m_dAux0, 0.0);
  EXPECT_EQ(channel.m_dAux1, 1.0);
}

TEST(Model, KeywordConstantsHaveTheirTexts) {
  const std::pair<const char*, const char*> table[] = {
      {CQTXGeneral::lpszQuorsetMeasurement, "Quorset Measurement"},
      {CQTXGeneral::lpszWriterVersion, "Writer_Version"},
      {CQTXGeneral::lpszReaderVersion, "Reader_Version"},
      {CQTXGeneral::lpszSeparator, "Separator"},
      {CQTXGeneral::lpszTab, "Tab"},
      {CQTXGeneral::lpszComma, "Comma"},
      {CQTXGeneral::lpszMultiHeadings, "Multi_Headings"},
      {CQTXGeneral::lpszYes, "Yes"},
      {CQTXGeneral::lpszNo, "No"},
      {CQTXGeneral::lpszXColumns, "X_Columns"},
      {CQTXGeneral::lpszMulti, "Multi"},
      {CQTXGeneral::lpszOne, "One"},
      {CQTXGeneral::lpszTimePref, "Time_Pref"},
      {CQTXGeneral::lpszAbs, "Absolute"},
      {CQTXGeneral::lpszRel, "Relative"},
      {CQTXGeneral::lpszDescription, "Description"},
      {CQTXGeneral::lpszGeneratedBy, "Generated from Tessaron"},
      {CQTXGeneral::lpszTime, "Time"},
      {CQTXGeneral::lpszDate, "Date"},
      {CQTXGeneral::lpszEndOfHeader, "***End_of_Header***"},
      {CQTXGeneral::lpszStartSpecial, "***Start_Special***"},
      {CQTXGeneral::lpszEndSpecial, "***End_Special***"},
  };
  for (const auto& [constant, text] : table) EXPECT_STREQ(constant, text);
}

TEST(Model, SectionReleasesEachChannelThenItsBlockThenTheArray) {
  Log log;
  {
    auto* section = new CQTXSection;
    section->m_nChannels = 3;
    section->m_ppChannelBlocks = new CObject*[3];
    for (int i = 0; i < 3; ++i) {
      section->m_arrChannels.Add(new LoggedChannel(log, "channel " + std::to_string(i)));
      section->m_ppChannelBlocks[i] = new LoggedBlock(log, "block " + std::to_string(i));
    }
    delete section;  // through CObject's virtual destructor chain
  }
  EXPECT_EQ(log, (Log{"channel 0", "block 0", "channel 1", "block 1", "channel 2", "block 2"}));
}

TEST(Model, SectionReleasesListedChannelsWhateverTheCount) {
  Log log;
  {
    CQTXSection section;
    section.m_nChannels = 5;  // a count the list does not hold
    for (int i = 0; i < 3; ++i) section.m_arrChannels.Add(new LoggedChannel(log, std::to_string(i)));
  }
  EXPECT_EQ(log, (Log{"0", "1", "2"}));
}

TEST(Model, SectionPassesOverNullChannelsAndBlocks) {
  Log log;
  {
    CQTXSection section;
    section.m_ppChannelBlocks = new CObject*[3]{nullptr, new LoggedBlock(log, "block 1"), nullptr};
    section.m_arrChannels.Add(new LoggedChannel(log, "channel 0"));
    section.m_arrChannels.Add(nullptr);
    section.m_arrChannels.Add(new LoggedChannel(log, "channel 2"));
  }
  EXPECT_EQ(log, (Log{"channel 0", "block 1", "channel 2"}));
}

TEST(Model, SectionWithoutChannelsReleasesOnlyTheBlockArray) {
  CQTXSection section;
  section.m_nChannels = 2;
  // Entries the destructor must not look at: deleting either would crash.
  section.m_ppChannelBlocks = new CObject*[2];
  section.m_ppChannelBlocks[0] = reinterpret_cast<CObject*>(alignof(CObject));
  section.m_ppChannelBlocks[1] = reinterpret_cast<CObject*>(alignof(CObject));
}

TEST(Model, GeneralReleasesSectionsInListOrderAndSkipsNull) {
  Log log;
  {
    CQTXGeneral qtx;
    qtx.m_arrSections.Add(new LoggedSection(log, "section 0"));
    qtx.m_arrSections.Add(nullptr);
    qtx.m_arrSections.Add(new LoggedSection(log, "section 2"));
    auto* owner = new LoggedSection(log, "section 3");
    owner->m_arrChannels.Add(new LoggedChannel(log, "its channel"));
    qtx.m_arrSections.Add(owner);
  }
  EXPECT_EQ(log, (Log{"section 0", "section 2", "section 3", "its channel"}));
}

TEST(Model, ChannelReleasesWhicheverArraysItHolds) {
  // Leak and double-free checks come from the sanitizer build.
  CQTXChannel onlyY;
  onlyY.m_pYValues = new double[4]();
  CQTXChannel both;
  both.m_pXValues = new double[1]();
  both.m_pYValues = new double[1]();
}

TEST(Model, ListAccessOutsideTheListRaisesAndChangesNothing) {
  CQTXSection section;
  section.m_arrChannels.Add(new CQTXChannel);
  EXPECT_THROW(section.m_arrChannels.GetAt(1), CInvalidArgException);
  EXPECT_THROW(section.m_arrChannels.GetAt(-1), std::invalid_argument);
  EXPECT_EQ(section.m_arrChannels.GetSize(), 1);
}

}  // namespace
