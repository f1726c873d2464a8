#include "settings/IniDocument.h"

#include <gtest/gtest.h>

namespace {

TEST(IniDocument, ReadsValuesWhateverTheCaseBlanksAndQuotes)
{
    const IniDocument doc = IniDocument::Parse("; comment\r\n[user]\r\n id = u01 \r\nPWD=\"p w\"\r\n"
                                               "[USER]\r\nID=second\r\n[MFORM]\nLEFT=12\nno equals sign\n");
    EXPECT_EQ(doc.value("USER", "ID"), "u01"); // the first section and key win
    EXPECT_EQ(doc.value("USER", "pwd"), "p w");
    EXPECT_EQ(doc.value("MFORM", "LEFT"), "12");
    EXPECT_EQ(doc.value("MFORM", "TOP"), "");
    EXPECT_EQ(doc.value("NONE", "ID"), "");
}

TEST(IniDocument, SettingAKeyKeepsEveryOtherLineAsItWas)
{
    const QByteArray original = "; kept\r\n[SYSTEM]\r\nTYPE=FREE\r\nFOREIGN=\x8E\x52\r\n\r\n"
                                "[USER]\r\nID=old\r\ngarbage line\r\n\r\n[OTHER]\r\nX=1";
    IniDocument doc = IniDocument::Parse(original);
    doc.setValue("USER", "ID", "new");
    doc.setValue("USER", "PWD", "secret");
    doc.setValue("MFORM", "LEFT", "5");
    EXPECT_EQ(doc.toBytes(), "; kept\r\n[SYSTEM]\r\nTYPE=FREE\r\nFOREIGN=\x8E\x52\r\n\r\n"
                             "[USER]\r\nID=new\r\ngarbage line\r\nPWD=secret\r\n\r\n[OTHER]\r\nX=1\r\n"
                             "[MFORM]\r\nLEFT=5\r\n");
}

TEST(IniDocument, NewLinesFollowTheFilesLineEnds)
{
    IniDocument doc = IniDocument::Parse("[USER]\nID=a\n");
    doc.setValue("USER", "CORP", "1");
    EXPECT_EQ(doc.toBytes(), "[USER]\nID=a\nCORP=1\n");
    IniDocument empty = IniDocument::Parse("");
    empty.setValue("USER", "ID", "a");
    EXPECT_EQ(empty.toBytes(), "[USER]\r\nID=a\r\n");
}

} // namespace
