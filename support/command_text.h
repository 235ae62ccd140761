// Host variables set by name (created when they do not exist yet), and reading pieces of the
// command text that the host is executing for the module: characters, names, keywords, flag
// values and numbers. Each routine combines a few host messages with a rule of its own; the
// version gates compare hostVersion with fixed thresholds.
#pragma once

#include <cstdint>

#include "hostlink/error_codes.h"
#include "hostlink/host_messages.h"
#include "hostlink/record.h"

// Creation types of a variable (numeric type codes), and the flag bit added when the caller
// asks for it (hosts from 200 on).
inline constexpr int32_t kVariableTypeString = 0;
inline constexpr int32_t kVariableTypeReal = 4;
inline constexpr int32_t kVariableTypeComplex = 5;
inline constexpr int32_t kVariableCreationFlag = 0x4000;

// The setting request's answer when there is no such numeric variable.
inline constexpr int32_t kNoSuchNumericVariable = -1;

// Host versions from which the newer requests exist.
inline constexpr int32_t kHostVersionVariableFlag = 200;   // 45 with the flag bit; 71
inline constexpr int32_t kHostVersionNameReader = 300;     // 124
inline constexpr int32_t kHostVersionStatementEnd = 400;   // 182

// ---- variables
// Message 45; a creation type with kVariableCreationFlag is refused with kErrHostTooOld on
// hosts before 200 without asking.
int32_t CreateVariable(const char* name, int32_t creationType);
// Set a numeric variable (real, or with an imaginary part), creating it when the host has no
// such variable; with flag set it is created with kVariableCreationFlag, which hosts before 200
// refuse (kErrHostTooOld, nothing sent). Only a missing variable leads to the creation; any
// other failure of the setting request is not reported (0). A setting request that could not
// be sent (the exchange stopped) is kExchangeStopped, never 0.
int32_t SetNumericVariableInt(const char* name, int32_t value, int32_t flag);
int32_t SetNumericVariable(const char* name, const double* value, int32_t flag);
int32_t SetComplexVariable(const char* name, const double* realPart, const double* imaginaryPart, int32_t flag);
// Set a string variable, creating it on any failure of the first setting request; returns the
// second request's result then. A first request that could not be sent is kExchangeStopped,
// and nothing is created.
int32_t SetStringVariable(const char* name, const char* text, int32_t flag);

// ---- command text
// 1 when the command text is at the end of a statement, else 0 (hosts before 400: the next
// character is the end, a carriage return, ';' or '|'); kExchangeStoppedValue when the host
// could not be asked.
int32_t AtCommandEnd(void);
// Folds text to upper case in place and returns the index of the equal entry of keywords (a
// list of upper-case texts ended by an empty text), or -1.
int32_t FindKeyword(const char* const* keywords, char* text);
// Reads a name and looks it up: 0 with the index in *index, ';' when the host answered ';', or
// kErrExpectedKeyword.
int32_t ReadKeyword(const char* const* keywords, int32_t* index);
// Sets flagBit in *flagWord; "=value" after it is read, and a value of 0 clears the bit again.
// 0, or the number reader's error, or kExchangeStopped when the command text could not be read.
int32_t ReadFlagValue(int32_t flagBit, int32_t* flagWord);
// Reads text into buffer, which must hold kCommandTextBufferSize bytes (the host writes at most
// 255 characters and a terminator); when the host answers n >= 1 characters, the n-th character
// (as an unsigned byte), otherwise the host's answer. A count beyond the buffer reads nothing:
// the answer is returned unchanged. An exchange that stopped gives kExchangeStoppedValue.
inline constexpr int32_t kCommandTextBufferSize = 256;
int32_t ReadTextLastChar(char* buffer);
// Hosts from 300: message 124 with the three arguments. Older hosts: *outValue = 0 and a name
// read with message 14 into name (a ';' answer becomes kErrNameAtStatementEnd).
int32_t ReadNameGated(int32_t* outValue, char* name, HostWord third);
// Reads a name into name (32 bytes): 0 when a wave of that name exists in the current data
// folder, kErrExpectedWaveName otherwise.
int32_t ReadWaveName(char* name);
// Reads a name into name (32 bytes): kErrExpectedVariableName when none, else the result of
// reading that numeric variable (the values are not kept).
int32_t ReadVariableName(char* name);
// Reads a name into name (32 bytes): 0 when message 59 answers nonzero for it, else
// kErrExpectedQueryName (also when message 59 could not be sent).
int32_t ReadNameForQuery59(char* name);
// Hosts from 200: message 71, result 0 (kExchangeStopped when it could not be sent). Older
// hosts: message 9 with an empty text, its result.
int32_t SendBlankRequest(void);
