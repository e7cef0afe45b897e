// The table definition script: one Create table statement for table et over
// the data file, one column per field that the data file holds.
//
// Contract:
// - Lines end with CR LF; names are written in their own bytes, unconverted.
// - Column types come from ColumnOf, the same rule the data file follows.
// - The data file's name stands in a quoted literal (apostrophes doubled) and
//   column names in quoted identifiers (double quotes doubled), so the
//   statement stays valid whatever the names are.
// - The whole text is written with one WriteAll; a failure propagates.
#pragma once

#include <string>

#include "datafile.h"
#include "mydbf.h"
#include "platform.h"

// The text of the script; WriteTableScript writes exactly this.
std::string TableScript(const FieldList& fields, const std::string& data_name, Layout layout);

void WriteTableScript(OutputFile& script, const FieldList& fields, const std::string& data_name,
                      Layout layout);
