// The command tester's settings file and the command list it keeps the texts of.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "common/ini/BigIni.h"
#include "common/platform/AtomicFile.h"
#include "support/TempDir.h"
#include "tools/cmdtester/untCmdIni.h"
#include "tools/testerlib/untEcrCmd.h"

using namespace tessel::cmd;

namespace {

std::string FileText(const std::string& path) {
    std::string text;
    EXPECT_TRUE(tessel::ReadWholeFile(path, text)) << path;
    return text;
}

const TCmdParam& ParamOf(const TCommands& list, long code, const std::string& name) {
    const TCommand* command = list.FindByCode(code);
    if (command == nullptr) throw std::runtime_error("no command");
    for (std::size_t i = 0; i < command->ParamCount(); ++i)
        if (command->Param(i).Name == name) return command->Param(i);
    throw std::runtime_error("no parameter " + name);
}

class CmdIniTest : public ::testing::Test {
  protected:
    TempDir dir_;
    std::string file_ = dir_.File("TesselCmd.ini");
    TCmdDateForms forms_;
};

TEST_F(CmdIniTest, SavedTextsAndSettingsLoadBack) {
    TCommands saved = CreateEcrCommands(forms_);
    saved.FindByCode(0x81)->OutParams[0].Text = "Хлеб ржаной";
    saved.FindByCode(0x81)->OutParams[1].Text = "12.5";
    saved.FindByCode(0x01)->OutParams[1].Text = "01 02 AB ";
    const TAppParams params{250, false, true};
    SaveCmdIni(file_, params, saved);

    TCommands loaded = CreateEcrCommands(forms_);
    TAppParams read;
    LoadCmdIni(file_, read, loaded);
    EXPECT_EQ(read.Timeout, 250);
    EXPECT_FALSE(read.SendAnswer);
    EXPECT_TRUE(read.WaitAnswer);
    for (std::size_t c = 0; c < saved.Count(); ++c)
        for (std::size_t i = 0; i < saved.Items(c).ParamCount(); ++i)
            EXPECT_EQ(loaded.Items(c).Param(i).Text, saved.Items(c).Param(i).Text)
                << saved.Items(c).Name << " " << saved.Items(c).Param(i).Name;

    const std::string text = FileText(file_);
    EXPECT_EQ(text.rfind("[Параметры]\r\nTimeout=250\r\nSendAnswer=0\r\nWaitAnswer=1\r\n\r\n[01]\r\n", 0),
              0u);
    EXPECT_NE(text.find("[81]\r\nНазвание=*Регистрация по коду\r\nRegType=0\r\n"), std::string::npos);
    EXPECT_NE(text.find("[C0]\r\n"), std::string::npos);
}

TEST_F(CmdIniTest, ForeignSectionsAreIgnoredAndEmptyValuesLoadTheirDefaults) {
    tessel::WriteFileAtomically(file_,
                                "[XYZ]\r\nText=x\r\n"
                                "[7F]\r\nText=y\r\n"
                                "[111]\r\nPrice=9\r\n"
                                "[81]\r\nText=\r\nPrice=3.5\r\nSection=\r\nCode=123\r\n"
                                "[1a]\r\nRegisterNumber=4\r\n"
                                "[Параметры]\r\nTimeout=abc\r\n");
    TCommands list = CreateEcrCommands(forms_);
    TAppParams params;
    params.Timeout = 5;
    LoadCmdIni(file_, params, list);
    EXPECT_EQ(ParamOf(list, 0x81, "Text").Text, "0");
    EXPECT_EQ(ParamOf(list, 0x81, "Section").Text, "1");
    EXPECT_EQ(ParamOf(list, 0x81, "Price").Text, "3.5");
    EXPECT_EQ(ParamOf(list, 0x81, "Code").Text, "123");
    // A key the file lacks keeps the default as well.
    EXPECT_EQ(ParamOf(list, 0x81, "RegType").Text, "0");
    // Section names are hexadecimal numbers of either case; 111h names no opcode, not 11h.
    EXPECT_EQ(ParamOf(list, 0x1A, "RegisterNumber").Text, "4");
    EXPECT_EQ(ParamOf(list, 0x11, "OperatorNumber").Text, "0");
    EXPECT_EQ(params.Timeout, 1000);
    EXPECT_TRUE(params.SendAnswer);
    EXPECT_FALSE(params.WaitAnswer);
}

TEST_F(CmdIniTest, AMissingFileChangesNothing) {
    TCommands list = CreateEcrCommands(forms_);
    list.Items(0).InParams[0].Text = "5";
    TAppParams params{7, false, true};
    LoadCmdIni(file_, params, list);
    EXPECT_EQ(list.Items(0).InParams[0].Text, "5");
    EXPECT_EQ(params.Timeout, 7);
}

TEST_F(CmdIniTest, SavingReplacesTheWholeFileAndMakesItsFolder) {
    const std::string nested = dir_.File("config/tessel/TesselCmd.ini");
    TCommands list = CreateEcrCommands(forms_);
    SaveCmdIni(nested, TAppParams(), list);
    tessel::WriteFileAtomically(nested, FileText(nested) + "[Старое]\r\nkey=1\r\n");
    SaveCmdIni(nested, TAppParams(), list);
    EXPECT_EQ(FileText(nested).find("Старое"), std::string::npos);
    // Only the file itself: no temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.File("config/tessel")),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(CmdIniTest, AFileThatCannotBeWrittenNamesItself) {
    std::filesystem::create_directory(dir_.File("TesselCmd.ini"));  // a folder where the file should go
    try {
        SaveCmdIni(file_, TAppParams(), CreateEcrCommands(forms_));
        ADD_FAILURE() << "saved";
    } catch (const EIniFileError& e) {
        EXPECT_EQ(e.FileName(), file_);
    }
}

TEST_F(CmdIniTest, TheFileLiesBesideAProgramInAWritableFolderElseInTheSettingsFolder) {
    EXPECT_EQ(CmdIniFileName(dir_.File("TesselCmd")), dir_.File("TesselCmd.ini"));
    EXPECT_EQ(CmdIniFileName(dir_.File("TesselCmd.bin")), dir_.File("TesselCmd.ini"));
    // A folder nobody can write to (root writes everywhere, so a folder that does not exist stands for it).
    const std::string settings = std::getenv("TESSEL_REGISTRY_DIR");
    EXPECT_EQ(CmdIniFileName("/nonexistent/bin/TesselCmd"), settings + "/TesselCmd.ini");
}

// ---- The command list ----

TEST(EcrCommands, EveryCommandEndsWithTheResultParameters) {
    const TCommands list = CreateEcrCommands(TCmdDateForms());
    std::set<int> codes;
    for (const TCommand& c : list) {
        EXPECT_TRUE(codes.insert(c.Code).second) << "opcode repeated: " << int{c.Code};
        ASSERT_GE(c.OutParams.size(), 2u);
        const TCmdParam& code = c.OutParams[c.OutParams.size() - 2];
        const TCmdParam& description = c.OutParams.back();
        EXPECT_EQ(code.Name, "CommandResultCode");
        EXPECT_FALSE(code.ReadOnly);
        EXPECT_EQ(description.Name, "CommandResultDescription");
        EXPECT_TRUE(description.ReadOnly);
        for (std::size_t i = 0; i + 2 < c.ParamCount(); ++i)
            EXPECT_FALSE(c.Param(i).ReadOnly) << c.Name << " " << c.Param(i).Name;
    }
}

TEST(EcrCommands, EveryDefaultConvertsByItsType) {
    const TCmdDateForms forms;
    const TCommands list = CreateEcrCommands(forms);
    for (const TCommand& c : list)
        for (std::size_t i = 0; i < c.ParamCount(); ++i) {
            const TCmdParam& p = c.Param(i);
            EXPECT_EQ(p.Text, p.Default);
            TVariant value;
            EXPECT_NO_THROW(TextToVariant(p.Type, p.Default, forms, value.v)) << c.Name << " " << p.Name;
        }
}

TEST(EcrCommands, FoundByTheWholeOpcode) {
    const TCommands list = CreateEcrCommands(TCmdDateForms());
    ASSERT_NE(list.FindByCode(0x11), nullptr);
    EXPECT_EQ(list.FindByCode(0x11)->Name, "Запрос состояния ККМ");
    EXPECT_EQ(list.FindByCode(0x111), nullptr);
    EXPECT_EQ(list.IndexOfCode(0x7F), -1);
    EXPECT_EQ(ListText(2, list.Items(2)), "3. Запрос состояния ККМ");
}

}  // namespace
