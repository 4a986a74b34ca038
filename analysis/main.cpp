#include <string>
#include <vector>

#include "analysis/core/dispatch.h"
#include "analysis/writers/excel_charts.h"

int main(int argc, char** argv)
{
    // A run's chart workbooks are each built by this program started again.
    if (int status = 0; navsift::chart_workbook_child(argc, argv, status)) {
        return status;
    }
    std::vector<std::string> words(argv, argv + argc);
    return navsift::run_navsift(words);
}
