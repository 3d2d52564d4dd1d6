// Screen sources compiled into definitions: layout files with their options,
// inline field lists, generated names, bindings, edit order, flags, layout.

#include <string>
#include <vector>

#include "screen_fixture.h"

namespace tessaly {
namespace {

using Sources = ScreenTest;

TEST_F(Sources, LayoutScreenCompilesFieldsFromItsLinesAndOptions) {
  ASSERT_EQ(LoadCustom(1), Status::kOk) << GetDetail().str();
  const ScreenDefinition* def = ScreenCurrentDefinition();
  ASSERT_NE(def, nullptr);
  EXPECT_EQ(def->name, kCustomScreens + "1");
  ASSERT_EQ(def->field_count(), 8);
  EXPECT_EQ(def->main_file, 1);  // FILEDEF$ item 9 names the customers
  EXPECT_EQ(def->key_map, 1);
  EXPECT_EQ(Word(kKeyMap), 1);
  EXPECT_EQ(ScreenCurrentInstance()->index, 2);
  EXPECT_EQ(ScreenCurrentInstance()->window, 1);

  struct Expect {
    const char* name;
    int row, column, storage, display, file, file_field;
    char type;
    int edit_order;
    uint16_t flags;
    uint16_t status;
  };
  constexpr uint16_t kMain = kFieldFile | kFieldMainFile | kFieldClear | kFieldEditable;
  const Expect expect[] = {
      {"_CODE$", 2, 9, 6, 6, 1, 1, 'A', 1, kMain, 0},
      {"_NAME$", 3, 9, 20, 20, 1, 2, 'A', 2, kMain, 0},
      {"_BAL#", 4, 9, 10, 10, 1, 3, '2', 3, kMain | kFieldUpdateList | kFieldAlarm, 0},
      {"_SCRF4$", 5, 9, 8, 10, 1, 4, 'D', 4, kMain, 0},  // D10: stores 8, shows 10
      {"_SCRF5#", 6, 9, 1, 1, 1, 5, 'L', 5, kMain, 0},
      {"_SCRF6#", 7, 9, 10, 10, 0, 0, '2', 0, kFieldClear | kFieldComputed, 0},
      {"_SCRF7$", 0, 9, 0, 0, 0, 0, 'A', 7, kFieldClear | kFieldEditable, 163},
      {"_SCRF8$", 9, 9, 8, 8, 0, 0, 'A', kHiddenEditOrder, kFieldClear, 0},
  };
  int offset = 0;
  for (int i = 1; i <= 8; ++i) {
    const Expect& e = expect[i - 1];
    const ScreenField& f = Def(i);
    SCOPED_TRACE(e.name);
    EXPECT_EQ(f.name, e.name);
    EXPECT_EQ(f.status.code(), e.status);
    if (e.status != 0) continue;
    EXPECT_EQ(f.row, e.row);
    EXPECT_EQ(f.column, e.column);
    EXPECT_EQ(f.storage_width, e.storage);
    EXPECT_EQ(f.display_width, e.display);
    EXPECT_EQ(f.file, e.file);
    EXPECT_EQ(f.file_field, e.file_field);
    EXPECT_EQ(f.type, e.type);
    EXPECT_EQ(f.edit_order, e.edit_order);
    EXPECT_EQ(f.flags, e.flags);
    EXPECT_EQ(f.offset, offset);
    offset += f.storage_width;
  }
  EXPECT_EQ(def->data_length, offset);
  // The generated names stand first in the screen's options.
  EXPECT_EQ(def->parameters.rfind(
                "FD$=\"_CODE$,_NAME$,_BAL#,_SCRF4$,_SCRF5#,_SCRF6#,_SCRF7$,_SCRF8$\":FD$=", 0),
            0u)
      << def->parameters;
}

TEST_F(Sources, LayoutLabelsAndTitleAreDrawnInTheTopWindow) {
  ASSERT_EQ(strtab::Set(strtab::kEnvironment, 3, "Shop"), Status::kOk);
  ASSERT_EQ(strtab::Set(strtab::kEnvironment, 11, "host,salesdb,user,pw"), Status::kOk);
  ASSERT_EQ(LoadCustom(1), Status::kOk) << GetDetail().str();
  EXPECT_EQ(windows_.Label(1, 2, 3), "Code:");
  EXPECT_EQ(windows_.Label(1, 7, 3), "Double:");
  EXPECT_EQ(windows_.Label(1, 1, 1), "");  // the "<?>" line titles instead
  const std::string& title = windows_.titles[1];
  EXPECT_EQ(title.rfind(" Customers  |  ", 0), 0u) << title;
  EXPECT_NE(title.find("  |  salesdb "), std::string::npos) << title;
  EXPECT_NE(title.find(" |  www.tessaly.org  "), std::string::npos) << title;
  ASSERT_EQ(ScreenCloseInstance(), Status::kOk);

  // An empty title text takes the application's title.
  ASSERT_EQ(LoadCustom(3), Status::kOk) << GetDetail().str();
  EXPECT_EQ(windows_.titles[1].rfind(" Shop  |  ", 0), 0u) << windows_.titles[1];
}

TEST_F(Sources, MissingLayoutFileIsReportedUnlessTheLoadModeAllowsIt) {
  ScreenLoadRequest request;
  const std::string nowhere = kScreenFixtures + "/NOWHERE";
  request.file = Slice::Of(nowhere);
  request.number = 1;
  EXPECT_EQ(ScreenLoad(request), Status::kFileNotFound);
  EXPECT_NE(GetDetail().view().find("NOWHERE.PAN"), std::string_view::npos) << GetDetail().str();
  EXPECT_EQ(ScreenInstanceCount(), 0);
  EXPECT_EQ(strtab::Count(strtab::kSettingsFiles), 0);

  // With load mode bit 2 the screen has the fields its options name; the
  // load mode bits are cleared after the load.
  SetWord(kScrStat, kLoadMissingWarns);
  ASSERT_EQ(ScreenLoad(request), Status::kOk);
  EXPECT_EQ(ScreenCurrentDefinition()->field_count(), 0);
  EXPECT_EQ(Word(kScrStat), 0);
  EXPECT_EQ(Field(1), "<124>");
}

TEST_F(Sources, LayoutWithoutFieldLinesHasTheFieldsOfItsFdList) {
  // Screen 3's options with no layout: the fields come from FD$ alone.
  SetWord(kScrStat, kLoadMissingWarns);
  ScreenLoadRequest request;
  const std::string file = kScreenFixtures + "/ONLYOPTS";
  request.file = Slice::Of(file);
  request.number = 1;
  ASSERT_EQ(ScreenLoad(request), Status::kOk);
  const ScreenDefinition* def = ScreenCurrentDefinition();
  ASSERT_EQ(def->field_count(), 3);
  EXPECT_EQ(Def(1).name, "NAME{customers}");
  EXPECT_EQ(Def(1).file, 1);
  EXPECT_EQ(Def(1).storage_width, 20);
  EXPECT_EQ(Def(2).name, "_QTY#");
  EXPECT_EQ(Def(2).type, 'N');
  EXPECT_EQ(Def(2).storage_width, 4);
  EXPECT_EQ(Def(3).status, Status::kUndefWarning);  // NOPE{customers} is no field
}

TEST_F(Sources, InlineListsGenerateNamesAndLayOutOneFieldPerRow) {
  ASSERT_EQ(ScreenOpenFieldList("'Host:':'A30','Kgs:':'26','Total kg:':'26','Day:':'D10'", 0),
            Status::kOk);
  const ScreenDefinition* def = ScreenCurrentDefinition();
  ASSERT_EQ(def->field_count(), 4);
  EXPECT_EQ(def->name, "HoKgToDa");
  const char* names[] = {"_SCRF1$", "_SCRF2#", "_SCRF3#", "_SCRF4$"};
  for (int i = 1; i <= 4; ++i) {
    EXPECT_EQ(Def(i).name, names[i - 1]);
    EXPECT_EQ(Def(i).row, i);
    EXPECT_EQ(Def(i).column, 9);  // the longest label, "Total kg:"
    EXPECT_EQ(Def(i).edit_order, i);
  }
  EXPECT_EQ(Def(1).label, "Host:");
  EXPECT_EQ(Def(2).type, '2');
  EXPECT_EQ(Def(2).storage_width, 6);
  EXPECT_EQ(Def(4).storage_width, 8);
  EXPECT_EQ(Def(4).display_width, 10);
  EXPECT_EQ(def->bounds_first, 0);
  EXPECT_EQ(def->data_length, 30 + 6 + 6 + 8);
}

TEST_F(Sources, InlineFieldPartsPlacementsAndBadFields) {
  struct Case {
    const char* spec;
    int row, column;
    const char* label;
    uint16_t status;
  };
  const Case cases[] = {
      {"'Qty:':'N3'::'5'/ROW=3;/COL=12", 3, 12, "Qty:", 0},
      {"'{2,4}Name:':'A10'", 2, 9, "Name:", 0},  // braces: column 4 + the label
      {"'Amount':'29'", 1, 6, "Amount", 0},
      {"CODE{customers}", 1, 4, "CODE", 0},  // a field reference: the structure's
      {"NOPE{customers}", 0, 0, "", 168},
      {"'X':'Q5'", 0, 0, "", 163},           // no such type
      {"'X':'A5':1BAD@", 0, 0, "", 157},     // part 3 is no variable
      {"'X':'A5':VAR$:'d':TGT$:more", 0, 0, "", 163},  // six parts
      {"'X':'A5':LIMIT{customers}>=", 1, 1, "X", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.spec);
    ASSERT_EQ(ScreenOpenFieldList(c.spec, 0), Status::kOk);
    const ScreenField& f = Def(1);
    EXPECT_EQ(f.status.code(), c.status);
    if (c.status == 0) {
      EXPECT_EQ(f.row, c.row);
      EXPECT_EQ(f.column, c.column);
      EXPECT_EQ(f.label, c.label);
    }
    ASSERT_EQ(ScreenCloseInstance(), Status::kOk);
  }
  // The placement is no part of the field's text.
  ASSERT_EQ(ScreenOpenFieldList("'Qty:':'N3'::'5'/ROW=3;/COL=12", 0), Status::kOk);
  EXPECT_EQ(Def(1).spec, "'Qty:':'N3'::'5'");
  EXPECT_EQ(Def(1).storage_width, 3);
}

TEST_F(Sources, LimitFieldsAreLabelledWithTheirFieldAndComparison) {
  ASSERT_EQ(ScreenOpenFieldList("SINCE{customers}:'D8':SINCE{customers}>=,"
                                "SINCE{customers}:'D8':SINCE{customers}<=,"
                                "NAME{customers}:'A20':NAME{customers}==,"
                                "CODE{customers}:'A6':CODE{customers}",
                                0),
            Status::kOk);
  EXPECT_EQ(Def(1).label, "SINCE(From):");
  EXPECT_EQ(Def(2).label, "SINCE(To)  :");
  EXPECT_EQ(Def(3).label, "NAME(Equal to):");
  EXPECT_EQ(Def(4).label, "CODE:");
}

TEST_F(Sources, OptionsAfterTheSlashWithSemicolonsForColons) {
  // One '/' and several ';': the options may be separated by ';'.
  ASSERT_EQ(ScreenOpenFieldList("'A':'N3','B':'N3','C':'A4' /FD$=\"X#,Y#\";NOEDIT$=Y#;HIDDEN$=X#",
                                0),
            Status::kOk);
  EXPECT_EQ(Def(1).name, "X#");
  EXPECT_EQ(Def(1).edit_order, kHiddenEditOrder);
  EXPECT_EQ(Def(2).edit_order, 0);
  EXPECT_EQ(Def(3).name, "_SCRF3$");
  EXPECT_EQ(Def(3).edit_order, 3);
}

TEST_F(Sources, GridRowPlacesFieldsSideBySideAsTheLinePart) {
  ASSERT_EQ(ScreenOpenFieldList("'Item':'A6','Qty':'26','Price':'28' /WIDTHS$=\",4\"", kListGridRow),
            Status::kOk);
  const ScreenDefinition* def = ScreenCurrentDefinition();
  EXPECT_EQ(def->bounds_first, 1);
  EXPECT_EQ(def->bounds_last, 3);
  EXPECT_EQ(Def(1).column, 1);
  EXPECT_EQ(Def(2).column, 1 + 6 + 1);
  EXPECT_EQ(Def(2).shown_width, 4);
  EXPECT_EQ(Def(3).column, 8 + 4 + 1);
  EXPECT_EQ(Def(3).row, 3);
}

TEST_F(Sources, EditOrderFromEditNoeditAndOtherFiles) {
  ASSERT_EQ(StructDefineFile(11, "orders", "/tmp"), Status::kOk);
  ASSERT_EQ(StructDefineField("DOC", 8, 'A'), Status::kOk);
  ASSERT_EQ(ScreenOpenFieldList("'a':'A1','b':'A1','c':'A1','d':'A1',DOC{orders} "
                                "/FD$=\"A$,B$,C$,D$\":EDIT$=\"C$,A$\":NOEDIT$=\"B$\"",
                                0, 1),
            Status::kOk);
  EXPECT_EQ(Def(1).edit_order, 2);  // its place in EDIT$
  EXPECT_EQ(Def(2).edit_order, 0);  // NOEDIT$
  EXPECT_EQ(Def(3).edit_order, 1);
  EXPECT_EQ(Def(4).edit_order, 4);  // not in EDIT$: its number
  EXPECT_EQ(Def(5).edit_order, 0);  // another file than the main file
  EXPECT_EQ(Def(5).flags & kFieldMainFile, 0);
  // The first field (BEGINFLD% - 1) stays editable whatever NOEDIT$ says.
  ASSERT_EQ(ScreenOpenFieldList("'a':'A1','b':'A1' /FD$=\"A$,B$\":NOEDIT$=\"B$\":BEGINFLD%=3", 0),
            Status::kOk);
  EXPECT_EQ(ScreenCurrentDefinition()->first_field, 2);
  EXPECT_EQ(Def(2).edit_order, 2);
}

TEST_F(Sources, LoadModeBindsFieldsToTheMainFileByName) {
  SetWord(kScrStat, kLoadBindByName);
  ASSERT_EQ(ScreenOpenFieldList("'Name':'N3','Other':'N3' /FD$=\"NAME,OTHER\"", 0, 1), Status::kOk);
  EXPECT_EQ(Def(1).file, 1);
  EXPECT_EQ(Def(1).file_field, 2);
  EXPECT_EQ(Def(1).type, 'A');
  EXPECT_EQ(Def(1).storage_width, 20);
  EXPECT_EQ(Def(2).file, 0);
  EXPECT_EQ(Word(kScrStat), 0);
}

TEST_F(Sources, VariableTypeTakesTypeAndWidthFromItsScreenFieldVariable) {
  Run("_V3$='N12'");
  ASSERT_EQ(ScreenOpenFieldList("'a':'V3','b':'V4'", 0), Status::kOk);
  EXPECT_EQ(Def(1).type, 'N');
  EXPECT_EQ(Def(1).storage_width, 12);
  EXPECT_EQ(Def(1).name, "_SCRF1#");
  EXPECT_EQ(Def(2).status, Status::kVariableScreenField);
}

TEST_F(Sources, OpenOptionOpensTheFilesItNames) {
  ASSERT_FALSE(DataFileIsOpen(1));
  ASSERT_EQ(ScreenOpenFieldList("'a':'A1' /OPEN$=\"customers\"", 0), Status::kOk)
      << GetDetail().str();
  EXPECT_TRUE(DataFileIsOpen(1));
  EXPECT_EQ(Word(kCurFil), 1);
  // A file that is no file of the dictionary loads no screen.
  ClearDetail();
  EXPECT_EQ(ScreenOpenFieldList("'a':'A1' /OPEN$=\"customers,nothing\"", 0), Status::kFileOpening);
  EXPECT_EQ(GetDetail().str(), "nothing");
  EXPECT_EQ(ScreenInstanceCount(), 1);
  EXPECT_EQ(ScreenDefinitionCount(), 1);
}

TEST_F(Sources, ShownWidthIsClippedToTheScreen) {
  ScreenGeometrySet("40,20,2");
  ASSERT_EQ(ScreenOpenFieldList("'Long text:':'A60'", 0), Status::kOk);
  EXPECT_EQ(Def(1).column, 10);
  EXPECT_EQ(Def(1).shown_width, 40 - 2 - 10);
  EXPECT_EQ(Def(1).display_width, 60);
}

}  // namespace
}  // namespace tessaly
