#pragma once
// What the listing writer does past libharu's public functions, in one place. The writer comes
// here where the library's operators cost more than the work, and these functions write the
// bytes the library would. Every function rests on assumptions about the library's insides;
// they hold for libharu 2.3.0 (Debian's, and the Windows build's from the same source), and
// tests/pdf/haru_raw_test.cpp checks each one by its name below, so a later libharu that breaks
// one fails the test named after it:
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
//  writeHooks       HPDF_Dict_Write writes a dictionary's elements and then calls its write_fn
//                   with the output stream before the closing ">>"; the stream dictionary of a
//                   page's content has no write_fn of its own.
//  numberFormat     HPDF_FToA (hpdf_utils.h) writes a real exactly as the operators write
//                   their operands.
//  showText         ShowText writes a text as "(...) Tj\012": octal escapes for the bytes
//                   below 0x20, above 0x7e and \%#/()<>[]{}, the text cut at its first zero
//                   byte, and nothing when no byte of it has a width.

#include <hpdf.h>

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/page_compressor.hpp"

namespace mervik::pdf::haru {

/// Appends `bytes` to the page's content stream, past the library's operators (streamBuffers).
void writeContent(HPDF_Page page, std::string_view bytes);

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

/// Makes a link annotation the smallest dictionary the library lets us make: without the
/// optional /Type, and with the document's one /Border [0 0 0], made at the first call into
/// *noBorder and shared by every link after it.
void trimLinkAnnotation(HPDF_Doc pdf, HPDF_Annotation annotation, HPDF_Array* noBorder);

}  // namespace mervik::pdf::haru
