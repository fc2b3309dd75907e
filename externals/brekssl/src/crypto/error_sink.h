// Failures that the toolkit additions report in words go to a sink that the
// layer above hands down (the provider's trace log); the additions never
// include the provider's headers. Without a sink the text is dropped, as the
// trace log drops lines while no trace file is set.
#ifndef BREKSSL_ERROR_SINK_H
#define BREKSSL_ERROR_SINK_H

using BrekErrorSink = void (*)(const char* text);

void brek_set_error_sink(BrekErrorSink sink);
void brek_log_err(const char* format, ...) __attribute__((format(printf, 1, 2)));

#endif
