#pragma once
// What the listing writer does past libharu's public functions, in one place. The writer comes
// here where the library's operators cost more than the work, and these functions write the
// bytes the library would. Every function rests on assumptions about the library's insides;
// they hold for libharu 2.3.0 (Debian's, and the Windows build's from the same source), and
// tests/pdf/haru_raw_test.cpp checks each one by its name below, so a later libharu that breaks
// one fails the test named after it. They were read off 2.3.0's source only: run that test
// before building against a 2.4 release.
//
//  streamBuffers    A page's attr is an HPDF_PageAttr_Rec whose `stream` is its content's
//                   memory stream, appended to by HPDF_Stream_Write; its bytes can be read
//                   back buffer by buffer (HPDF_MemStream_GetBufCount/GetBufPtr) and dropped
//                   with HPDF_MemStream_FreeData.
//  pageAttributes   MoveTextPos(x, y) adds (x a + y c, y d + x b) to attr->text_matrix's
//                   (x, y) and copies it to attr->text_pos; nothing else changes. A page's
//                   content is deflated at save when attr->contents->filter holds
//                   HPDF_STREAM_FILTER_FLATE_DECODE, and copied as it stands when it holds
//                   none. attr->gstate->prev is set while a q is open.
//  writeHooks       HPDF_Dict_Write writes "<<", a dictionary's elements but those whose
//                   obj_id holds HPDF_OTYPE_HIDDEN, then calls its write_fn with the output
//                   stream, then ">>", then (when it has no stream of its own) its
//                   after_write_fn; neither a page nor its content's stream dictionary has a
//                   write_fn of its own.
//  numberFormat     HPDF_FToA (hpdf_utils.h) writes a real exactly as the operators write
//                   their operands.
//  showText         ShowText writes a text as "(...) Tj\012": octal escapes for the bytes
//                   below 0x20, above 0x7e and \%#/()<>[]{}, the text cut at its first zero
//                   byte, and nothing when no byte of it has a width.
//  crossReference   The document has one cross-reference table, pdf->xref (no prev, start 0),
//                   whose entries list holds HPDF_XrefEntry_Rec pointers; at save the entry
//                   at index i is written, in list order, as object number i, its obj's value
//                   whatever object that is (also one shared by several entries); at HPDF_Free
//                   every entry's obj is freed, and every entry with the memory manager's
//                   free_fn. A page's object number is its header's obj_id without the type
//                   bits.
//  memoryManager    A document made by HPDF_New, or by HPDF_NewEx without a pool size, has a
//                   memory manager without a pool, whose alloc_fn and free_fn are a pair, as
//                   HPDF_GetMem and HPDF_FreeMem use them.
//  objectLayer      HPDF_Doc exposes mmgr, xref and catalog; HPDF_Dict_New makes a direct
//                   object that the container it is added to owns, also after a failed add;
//                   HPDF_Xref_Add makes it indirect, the next object, and frees it when it
//                   fails; a dictionary's attr is the caller's to use. (The record's embedded
//                   files and viewer preference: the library has no call for either that
//                   fits, as HPDF_AttachFile reads the file from disk again and dates nothing,
//                   and its streams need a /Length object of their own.)

#include <hpdf.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/page_compressor.hpp"

namespace mervik::pdf::haru {

/// Appends `bytes` to the page's content stream, past the library's operators (streamBuffers);
/// false when the stream could not take them.
bool writeContent(HPDF_Page page, std::string_view bytes);

/// Moves the page's text position by (0, dy) as MoveTextPos does, without writing the operator,
/// which the caller wrote itself (pageAttributes).
void advanceTextPos(HPDF_Page page, HPDF_REAL dy);

/// Appends `value` as the library writes a real operand (numberFormat).
void appendReal(std::string& out, HPDF_REAL value);

/// Appends the bytes ShowText writes for `run` at the current text position: one "(...) Tj"
/// per HPDF_LIMIT_MAX_STRING_LEN bytes, each cut at a zero byte, and none for a piece without a
/// byte that `shown` marks as having a width (showText).
void appendShowText(std::string& out, std::string_view run, const std::array<bool, 256>& shown);

/// The content of a finished page (its text object ended) as the library would deflate it at
/// save, buffer by buffer; empty when the library must finish the page itself: a q left open,
/// no flate filter, or no content (streamBuffers, pageAttributes).
std::vector<PageCompressor::Chunk> contentToDeflate(HPDF_Page page);

/// Replaces the page's content with `deflated`, which the library then copies as it stands
/// under a /Filter of its own (streamBuffers, pageAttributes, writeHooks). False when the
/// library could not take the bytes: the page's content is lost.
bool adoptDeflated(HPDF_Page page, const std::vector<unsigned char>& deflated);

/// The document's links, written as raw objects. Each link is one indirect object, the smallest
/// link annotation, `<< /Subtype/Link/Rect[...]/Border[0 0 0]/Dest[page 0 R/FitH top] >>`, and
/// its page's /Annots lists it. The library holds no object per link: one shared dictionary
/// writes every link through its write hook, once for each of the cross-reference entries that
/// stand for the links, in their order, and each page's own hook writes its /Annots
/// (writeHooks, crossReference, memoryManager). A link costs some 60 bytes of memory.
class LinkObjects {
 public:
  /// The most objects a document may hold once its links are in: the PDF's limit less room
  /// for some 250,000 more pages.
  static constexpr unsigned long objectsMax = HPDF_LIMIT_MAX_XREF_ELEMENT - (1UL << 20);

  LinkObjects();
  ~LinkObjects();
  LinkObjects(const LinkObjects&) = delete;
  LinkObjects& operator=(const LinkObjects&) = delete;

  /// A link on the page being drawn, over the area (x0, y0)-(x1, y1), to `target` with `top`
  /// at the top of the window. False when memory ran short: the link is left out.
  bool add(float x0, float y0, float x1, float y1, HPDF_Page target, float top);
  enum class Attached { yes, outOfMemory, outOfObjects };
  /// Makes the links added since the last call the annotations of `page`, which holds no other
  /// annotation. Unless yes, they are left out: memory ran short, or the document would hold
  /// more than objectsMax objects (or the page has a write hook of its own).
  Attached attach(HPDF_Doc pdf, HPDF_Page page);
  /// Takes the links out of the document. Must come before HPDF_Free, which would otherwise
  /// free the shared dictionary once per link.
  void detach(HPDF_Doc pdf);

  struct Store;  // what the write hooks read

 private:
  std::unique_ptr<Store> store_;
};

// The listing as a record (objectLayer).

/// A calendar time in UTC, from seconds since 1970 (proleptic Gregorian, no leap seconds);
/// years are held within 0 and 9999, as a PDF date takes them.
HPDF_Date utcDate(std::int64_t secondsSince1970);

/// The embedded files of one document, in its EmbeddedFiles name tree in the order they come.
/// Their bytes stay here until the save deflates them, on the compressor's thread while the
/// pages are written; files of the same bytes and date share one stream. The library holds one
/// small dictionary per stream, whose write hooks write it and the tree (writeHooks,
/// crossReference).
class Attachments {
 public:
  Attachments();
  ~Attachments();
  Attachments(const Attachments&) = delete;
  Attachments& operator=(const Attachments&) = delete;

  /// Adds `bytes` as the embedded file `name` (a path as the console shows it), with `lastWrite`
  /// as its modification date; `unicodeName`, when not empty, is the name as a text string
  /// (UTF-16BE with its byte order mark). False when memory ran short.
  bool add(std::string_view name, std::string_view unicodeName, std::string_view bytes,
           std::int64_t lastWrite);
  /// Enters the files into `pdf` just before its save, their streams last, and hands their
  /// bytes to `compressor`, which must have no other work left. False when memory ran short:
  /// the document must not be saved then.
  bool enter(HPDF_Doc pdf, PageCompressor& compressor);
  /// Forgets the files, once their document is freed.
  void clear();

  struct Store;  // what the write hooks read

 private:
  std::unique_ptr<Store> store_;
};

/// Asks viewers to show the document's Title in their window bar instead of the file name.
bool displayDocTitle(HPDF_Doc pdf);

}  // namespace mervik::pdf::haru
