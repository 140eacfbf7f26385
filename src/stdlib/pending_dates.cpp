// Placeholders for the built-ins this family has not implemented yet; each raises a
// runtime error naming itself. Remove an entry when its real definition lands.
#include "stdlib/builtins.h"
#include "vm/runtime_error.h"

namespace qel {

void bi_Now(Frame*) { raise_runtime_error("Now is not implemented yet"); }
void bi_Date(Frame*) { raise_runtime_error("Date is not implemented yet"); }
void bi_Time(Frame*) { raise_runtime_error("Time is not implemented yet"); }
void bi_DateOf(Frame*) { raise_runtime_error("DateOf is not implemented yet"); }
void bi_EncodeDate(Frame*) { raise_runtime_error("EncodeDate is not implemented yet"); }
void bi_EncodeTime(Frame*) { raise_runtime_error("EncodeTime is not implemented yet"); }
void bi_DecodeDate(Frame*) { raise_runtime_error("DecodeDate is not implemented yet"); }
void bi_DaysPerMonth(Frame*) { raise_runtime_error("DaysPerMonth is not implemented yet"); }
void bi_DayOfWeek(Frame*) { raise_runtime_error("DayOfWeek is not implemented yet"); }
void bi_DaysBetween(Frame*) { raise_runtime_error("DaysBetween is not implemented yet"); }
void bi_YearOf(Frame*) { raise_runtime_error("YearOf is not implemented yet"); }
void bi_MonthOf(Frame*) { raise_runtime_error("MonthOf is not implemented yet"); }
void bi_DayOf(Frame*) { raise_runtime_error("DayOf is not implemented yet"); }
void bi_HourOf(Frame*) { raise_runtime_error("HourOf is not implemented yet"); }
void bi_MinuteOf(Frame*) { raise_runtime_error("MinuteOf is not implemented yet"); }
void bi_SecondOf(Frame*) { raise_runtime_error("SecondOf is not implemented yet"); }
void bi_IncYear(Frame*) { raise_runtime_error("IncYear is not implemented yet"); }
void bi_IncMonth(Frame*) { raise_runtime_error("IncMonth is not implemented yet"); }
void bi_IncDay(Frame*) { raise_runtime_error("IncDay is not implemented yet"); }
void bi_IncMinute(Frame*) { raise_runtime_error("IncMinute is not implemented yet"); }
void bi_DateToStr(Frame*) { raise_runtime_error("DateToStr is not implemented yet"); }
void bi_TimeToStr(Frame*) { raise_runtime_error("TimeToStr is not implemented yet"); }
void bi_DateTimeToStr(Frame*) { raise_runtime_error("DateTimeToStr is not implemented yet"); }
void bi_FormatDateTime(Frame*) { raise_runtime_error("FormatDateTime is not implemented yet"); }
void bi_FormatFloat(Frame*) { raise_runtime_error("FormatFloat is not implemented yet"); }
void bi_ShortDayNames(Frame*) { raise_runtime_error("ShortDayNames is not implemented yet"); }

}  // namespace qel
