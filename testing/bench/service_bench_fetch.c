/* service_bench_fetch URL: one GET of URL by libcurl, the body on standard
 * output; exit 0 for a 2xx reply. service_bench runs it as a whole process
 * where no curl program is installed. */
#include <curl/curl.h>
#include <stdio.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: service_bench_fetch URL\n");
        return 2;
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    CURL* easy = curl_easy_init();
    if (!easy)
        return 1;
    curl_easy_setopt(easy, CURLOPT_URL, argv[1]);
    curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
    const CURLcode rc = curl_easy_perform(easy);
    if (rc != CURLE_OK)
        fprintf(stderr, "service_bench_fetch: %s\n", curl_easy_strerror(rc));
    curl_easy_cleanup(easy);
    curl_global_cleanup();
    return rc == CURLE_OK ? 0 : 1;
}
