#include "support/pdf_reader.hpp"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFOutlineDocumentHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <cmath>
#include <exception>
#include <map>
#include <utility>

namespace mervik::test {
namespace {

// Records a page's text runs and stroked segments from the operators the listing is drawn with
// (BT, Tf, Td, Tj; w, m, l, S); a listing drawn with others shows nothing to the tests.
class ContentReader : public QPDFObjectHandle::ParserCallbacks {
 public:
  ContentReader(QPDFPageObjectHelper& source, Page& page) : source_(source), page_(page) {}

  void handleObject(QPDFObjectHandle object) override {
    if (!object.isOperator()) return operands_.push_back(object);
    apply(object.getOperatorValue());
    operands_.clear();
  }
  void handleEOF() override {}

 private:
  double number(size_t i) {
    return i < operands_.size() && operands_[i].isNumber() ? operands_[i].getNumericValue() : 0;
  }

  void apply(const std::string& op) {
    if (op == "BT") x_ = y_ = penX_ = 0;
    if (op == "Tf") font_ = baseFont(operands_.empty() ? "" : operands_[0].getName());
    if (op == "Tf") size_ = number(1);
    if (op == "Td") penX_ = x_ += number(0), y_ += number(1);
    if (op == "Tj" && !operands_.empty()) {
      page_.runs.push_back({operands_.back().getStringValue(), font_, size_, penX_, y_});
      // Courier's glyphs are all 0.6 em wide: the next run on this line starts behind this one.
      if (font_.rfind("Courier", 0) == 0) penX_ += 0.6 * size_ * page_.runs.back().text.size();
    }
    if (op == "w") lineWidth_ = number(0);
    if (op == "l") path_.push_back({pathX_, pathY_, number(0), number(1), lineWidth_});
    if (op == "m" || op == "l") pathX_ = number(0), pathY_ = number(1);
    if (op == "S") page_.segments.insert(page_.segments.end(), path_.begin(), path_.end());
    if (op == "S") path_.clear();
  }

  // The BaseFont of a font resource of the page, e.g. "Courier" for "/F1".
  std::string baseFont(const std::string& resourceName) {
    std::string name = resourceName;
    QPDFObjectHandle resources = source_.getAttribute("/Resources", false);
    QPDFObjectHandle font = resources.getKeyIfDict("/Font").getKeyIfDict(resourceName);
    if (font.getKeyIfDict("/BaseFont").isName()) name = font.getKey("/BaseFont").getName();
    return name.empty() || name[0] != '/' ? name : name.substr(1);
  }

  QPDFPageObjectHelper& source_;
  Page& page_;
  std::vector<QPDFObjectHandle> operands_;
  std::string font_;
  double size_ = 0, x_ = 0, y_ = 0, penX_ = 0;
  double lineWidth_ = 1, pathX_ = 0, pathY_ = 0;
  std::vector<Segment> path_;
};

// A destination array: its page, and the top of a [page /FitH top], the kind links and units use.
Target readTarget(QPDFObjectHandle dest, const std::map<QPDFObjGen, int>& pageIndex) {
  Target target;
  if (!dest.isArray() || dest.getArrayNItems() < 1) return target;
  auto found = pageIndex.find(dest.getArrayItem(0).getObjGen());
  if (found != pageIndex.end()) target.page = found->second;
  if (dest.getArrayNItems() > 2 && dest.getArrayItem(1).isNameAndEquals("/FitH") &&
      dest.getArrayItem(2).isNumber())
    target.top = dest.getArrayItem(2).getNumericValue();
  return target;
}

void readLinks(QPDFObjectHandle annots, const std::map<QPDFObjGen, int>& pageIndex, Page& page) {
  for (int i = 0; annots.isArray() && i < annots.getArrayNItems(); ++i) {
    QPDFObjectHandle a = annots.getArrayItem(i), rect = a.getKey("/Rect");
    if (!a.isDictionary() || !rect.isRectangle()) continue;
    const QPDFObjectHandle::Rectangle r = rect.getArrayAsRectangle();
    QPDFObjectHandle border = a.getKey("/Border");
    const bool hasWidth = border.isArray() && border.getArrayItem(2).isNumber();
    page.links.push_back({r.llx, r.lly, r.urx, r.ury,
                          hasWidth ? border.getArrayItem(2).getNumericValue() : 1,
                          readTarget(a.getKey("/Dest"), pageIndex)});
  }
}

void readOutlines(std::vector<QPDFOutlineObjectHelper> entries, int depth,
                  const std::map<QPDFObjGen, int>& pageIndex, std::vector<OutlineEntry>* out) {
  for (QPDFOutlineObjectHelper& entry : entries) {
    QPDFObjectHandle title = entry.getObjectHandle().getKey("/Title");
    QPDFObjectHandle count = entry.getObjectHandle().getKey("/Count");
    const Target target = readTarget(entry.getDest(), pageIndex);
    out->push_back({title.isString() ? title.getStringValue() : "", target.page, depth,
                    target.top, !count.isInteger() || count.getIntValue() > 0});
    readOutlines(entry.getKids(), depth + 1, pageIndex, out);
  }
}

std::string infoText(QPDF& document, const char* key) {
  QPDFObjectHandle value = document.getTrailer().getKeyIfDict("/Info").getKeyIfDict(key);
  return value.isString() ? value.getStringValue() : "";
}

}  // namespace

std::vector<TextRun> Page::runsIn(std::string_view font) const {
  std::vector<TextRun> out;
  for (const TextRun& run : runs)
    if (run.font == font) out.push_back(run);
  return out;
}

std::vector<DrawnLine> Pdf::lines() const {
  std::vector<DrawnLine> out;
  for (size_t p = 0; p < pages.size(); ++p)
    for (const TextRun& run : pages[p].runs) {
      if (run.font.rfind("Courier", 0) != 0) continue;
      const bool joins = !out.empty() && out.back().page == static_cast<int>(p) &&
                         std::fabs(out.back().y - run.y) < 0.01 && run.x > out.back().x + 0.01;
      if (!joins) out.push_back({"", "", static_cast<int>(p), run.x, run.y, run.size});
      const char face = run.font == "Courier-Bold"      ? 'b'
                        : run.font == "Courier-Oblique" ? 'o' : '.';
      out.back().text += run.text;
      for (char c : run.text) out.back().faces += c == ' ' ? ' ' : face;
    }
  return out;
}

std::string Pdf::listing() const {
  std::string out;
  const DrawnLine* last = nullptr;
  for (const DrawnLine& line : lines()) {
    if (last && last->page == line.page && std::fabs(last->x - line.x) < 0.01 && line.size > 0) {
      const long steps = std::lround((last->y - line.y) / (0.98 * line.size));
      out.append(static_cast<size_t>(std::max(steps - 1, 0L)), '\n');
    }
    out += line.text + '\n';
    last = &line;
  }
  return out;
}

bool readPdf(const std::string& path, Pdf* pdf, std::string* err) {
  try {
    QPDF document;
    document.processFile(path.c_str());
    Pdf read;
    std::map<QPDFObjGen, int> pageIndex;
    std::vector<QPDFPageObjectHelper> sources = QPDFPageDocumentHelper(document).getAllPages();
    read.pages.resize(sources.size());
    for (size_t i = 0; i < sources.size(); ++i) {
      pageIndex[sources[i].getObjectHandle().getObjGen()] = static_cast<int>(i);
      const QPDFObjectHandle::Rectangle r = sources[i].getMediaBox().getArrayAsRectangle();
      read.pages[i].width = r.urx - r.llx;
      read.pages[i].height = r.ury - r.lly;  // the benchmark's line extractor copies the page size
      ContentReader reader(sources[i], read.pages[i]);
      sources[i].parseContents(&reader);
    }
    for (size_t i = 0; i < sources.size(); ++i)  // a link may point at any page
      readLinks(sources[i].getObjectHandle().getKey("/Annots"), pageIndex, read.pages[i]);
    QPDFOutlineDocumentHelper outlines(document);  // its entries refer to it
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

std::string fileTitles(const Pdf& pdf) {
  std::string out;
  for (const auto& entry : pdf.outlines)
    if (entry.depth == 0) out += "[" + entry.title + "]";
  return out;
}

}  // namespace mervik::test
