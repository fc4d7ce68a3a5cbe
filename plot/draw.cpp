// The pipeline of the plot command: the run's numbers and the script handed to gnuplot, its
// pictures judged in memory and written by the command alone.
#include "plot/draw.h"

#include <string>
#include <vector>

#include "filerules/filerules.h"
#include "output/terminal.h"
#include "plot/gnuplot.h"
#include "plot/picture.h"
#include "plot/plotdata.h"
#include "plotscript.h"

namespace eigenshoot {

std::vector<std::string> drawpictures(const runfiles& run, double seconds) {
  std::string input = plotdata(run);
  input += plotscripttext;
  const gnuplotrun ran = rungnuplot(input, seconds, 2 * largestpicture());
  const std::array<std::string_view, 2> pictures = judge(ran.status, ran.out, ran.said);
  const newfile files[] = {{picturenames[0], pictures[0]}, {picturenames[1], pictures[1]}};
  replacefiles(files);
  std::vector<std::string> warnings;
  for (const std::string_view line : saidlines(ran.said)) warnings.push_back(escaped(line));
  return warnings;
}

}  // namespace eigenshoot
