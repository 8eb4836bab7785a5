#include "support/pdf_reader.hpp"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFMatrix.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFOutlineDocumentHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <cmath>
#include <cstdlib>
#include <exception>
#include <map>
#include <utility>

namespace mervik::test {
namespace {

// What q saves and Q restores.
struct GraphicsState {
  QPDFMatrix ctm;
  std::string font;
  double size = 0;
  double leading = 0;
  double lineWidth = 1;
};

// Follows one page's content stream: the graphics state, the text and text line matrices,
// the path under construction; records text runs and stroked segments into the page.
class ContentReader : public QPDFObjectHandle::ParserCallbacks {
 public:
  ContentReader(QPDFPageObjectHelper& source, Page& page) : source_(source), page_(page) {}

  void handleObject(QPDFObjectHandle object) override {
    if (!object.isOperator()) {
      operands_.push_back(object);
      return;
    }
    apply(object.getOperatorValue());
    operands_.clear();
  }
  void handleEOF() override {}

 private:
  double number(size_t i) {
    return i < operands_.size() && operands_[i].isNumber() ? operands_[i].getNumericValue() : 0;
  }
  QPDFMatrix matrixOperand() {
    return QPDFMatrix(number(0), number(1), number(2), number(3), number(4), number(5));
  }

  void apply(const std::string& op) {
    if (applyText(op)) return;
    if (op == "q") {
      saved_.push_back(state_);
    } else if (op == "Q") {
      if (!saved_.empty()) {
        state_ = saved_.back();
        saved_.pop_back();
      }
    } else if (op == "cm") {
      state_.ctm.concat(matrixOperand());
    } else if (op == "w") {
      state_.lineWidth = number(0);
    } else {
      applyPath(op);
    }
  }

  bool applyText(const std::string& op) {
    if (op == "BT") {
      textMatrix_ = lineMatrix_ = QPDFMatrix();
    } else if (op == "Tf") {
      state_.font = baseFont(operands_.empty() ? "" : operands_[0].getName());
      state_.size = number(1);
    } else if (op == "TL") {
      state_.leading = number(0);
    } else if (op == "Td" || op == "TD") {
      if (op == "TD") state_.leading = -number(1);
      moveLine(number(0), number(1));
    } else if (op == "T*") {
      moveLine(0, -state_.leading);
    } else if (op == "Tm") {
      textMatrix_ = lineMatrix_ = matrixOperand();
    } else if (op == "Tj" || op == "'" || op == "\"") {
      if (op != "Tj") moveLine(0, -state_.leading);
      if (!operands_.empty()) show(operands_.back().getStringValue());
    } else if (op == "TJ") {
      std::string joined;
      if (!operands_.empty() && operands_[0].isArray()) {
        for (auto& item : operands_[0].getArrayAsVector()) {
          if (item.isString()) joined += item.getStringValue();
        }
      }
      show(joined);
    } else {
      return false;
    }
    return true;
  }

  void moveLine(double tx, double ty) {
    lineMatrix_.translate(tx, ty);
    textMatrix_ = lineMatrix_;
  }

  void show(std::string text) {
    TextRun run;
    run.text = std::move(text);
    run.font = state_.font;
    run.size = state_.size;
    double x = 0, y = 0;
    textMatrix_.transform(0, 0, x, y);
    state_.ctm.transform(x, y, run.x, run.y);
    page_.runs.push_back(std::move(run));
  }

  void applyPath(const std::string& op) {
    if (op == "m" || op == "l") {
      double x = 0, y = 0;
      state_.ctm.transform(number(0), number(1), x, y);
      if (op == "l") path_.push_back({current_.first, current_.second, x, y, 0});
      current_ = {x, y};
      if (op == "m") start_ = current_;
    } else if (op == "h" || op == "s" || op == "b" || op == "b*") {
      path_.push_back({current_.first, current_.second, start_.first, start_.second, 0});
      current_ = start_;
      if (op != "h") stroke();
    } else if (op == "S" || op == "B" || op == "B*") {
      stroke();
    } else if (op == "n" || op == "f" || op == "F" || op == "f*") {
      path_.clear();
    }
  }

  void stroke() {
    for (Segment& segment : path_) {
      segment.width = state_.lineWidth;
      page_.segments.push_back(segment);
    }
    path_.clear();
  }

  // The BaseFont of a font resource of the page, e.g. "Courier" for "/F1".
  std::string baseFont(const std::string& resourceName) {
    auto known = fonts_.find(resourceName);
    if (known != fonts_.end()) return known->second;
    std::string name = resourceName;
    QPDFObjectHandle resources = source_.getAttribute("/Resources", false);
    if (resources.isDictionary()) {
      QPDFObjectHandle font = resources.getKey("/Font").getKey(resourceName);
      QPDFObjectHandle base = font.isDictionary() ? font.getKey("/BaseFont") : font;
      if (base.isName()) name = base.getName();
    }
    if (!name.empty() && name[0] == '/') name.erase(0, 1);
    fonts_[resourceName] = name;
    return name;
  }

  QPDFPageObjectHelper& source_;
  Page& page_;
  std::vector<QPDFObjectHandle> operands_;
  GraphicsState state_;
  std::vector<GraphicsState> saved_;
  QPDFMatrix textMatrix_;
  QPDFMatrix lineMatrix_;
  std::vector<Segment> path_;
  std::pair<double, double> current_{0, 0};
  std::pair<double, double> start_{0, 0};
  std::map<std::string, std::string> fonts_;
};

Page readPage(QPDFPageObjectHelper& source) {
  Page page;
  QPDFObjectHandle box = source.getMediaBox();
  if (box.isRectangle()) {
    QPDFObjectHandle::Rectangle r = box.getArrayAsRectangle();
    page.width = r.urx - r.llx;
    page.height = r.ury - r.lly;
  }
  ContentReader reader(source, page);
  source.parseContents(&reader);
  return page;
}

void readOutlines(std::vector<QPDFOutlineObjectHelper> entries, int depth,
                  const std::map<QPDFObjGen, int>& pageIndex, std::vector<OutlineEntry>* out) {
  for (QPDFOutlineObjectHelper& entry : entries) {
    OutlineEntry read;
    QPDFObjectHandle title = entry.getObjectHandle().getKey("/Title");
    if (title.isString()) read.title = title.getStringValue();
    auto found = pageIndex.find(entry.getDestPage().getObjGen());
    if (found != pageIndex.end()) read.page = found->second;
    read.depth = depth;
    out->push_back(std::move(read));
    readOutlines(entry.getKids(), depth + 1, pageIndex, out);
  }
}

std::string infoText(QPDF& document, const char* key) {
  QPDFObjectHandle info = document.getTrailer().getKey("/Info");
  if (!info.isDictionary()) return "";
  QPDFObjectHandle value = info.getKey(key);
  return value.isString() ? value.getStringValue() : "";
}

}  // namespace

std::vector<std::string> Page::lines() const {
  std::vector<std::string> out;
  for (const TextRun& run : runs) {
    if (run.font == "Courier") out.push_back(run.text);
  }
  return out;
}

std::vector<std::string> Page::linesWithBlanks() const {
  std::vector<std::string> out;
  const TextRun* previous = nullptr;
  for (const TextRun& run : runs) {
    if (run.font != "Courier") continue;
    if (previous && std::fabs(previous->x - run.x) < 0.01 && run.size > 0) {
      long steps = std::lround((previous->y - run.y) / (0.98 * run.size));
      for (long blank = 1; blank < steps; ++blank) out.emplace_back();
    }
    out.push_back(run.text);
    previous = &run;
  }
  return out;
}

std::vector<TextRun> Page::runsIn(std::string_view font) const {
  std::vector<TextRun> out;
  for (const TextRun& run : runs) {
    if (run.font == font) out.push_back(run);
  }
  return out;
}

std::string Pdf::listing() const {
  std::string out;
  for (const Page& page : pages) {
    for (const std::string& line : page.linesWithBlanks()) {
      out += line;
      out += '\n';
    }
  }
  return out;
}

bool readPdf(const std::string& path, Pdf* pdf, std::string* err) {
  try {
    QPDF document;
    document.processFile(path.c_str());
    Pdf read;
    std::map<QPDFObjGen, int> pageIndex;
    for (QPDFPageObjectHelper& source : QPDFPageDocumentHelper(document).getAllPages()) {
      pageIndex[source.getObjectHandle().getObjGen()] = static_cast<int>(read.pages.size());
      read.pages.push_back(readPage(source));
    }
    QPDFOutlineDocumentHelper outlines(document);
    readOutlines(outlines.getTopLevelOutlines(), 0, pageIndex, &read.outlines);
    read.author = infoText(document, "/Author");
    read.creator = infoText(document, "/Creator");
    *pdf = std::move(read);
    return true;
  } catch (const std::exception& e) {
    if (err) *err = e.what();
    return false;
  }
}

bool qpdfCheckPasses(const std::string& path) {
  std::string quoted = "'";
  for (char c : path) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  quoted += "'";
  std::string command = "qpdf --check " + quoted + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

}  // namespace mervik::test
