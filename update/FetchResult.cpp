#include "update/FetchResult.h"

#include <utility>

FetchResult FetchResult::Body(std::string body) {
    FetchResult result;
    result.ok = true;
    result.body = std::move(body);
    return result;
}

FetchResult FetchResult::Failure(std::string failure, std::string detail) {
    FetchResult result;
    result.failure = std::move(failure);
    result.detail = std::move(detail);
    return result;
}

std::string FetchResult::Describe() const {
    return detail.empty() || detail == failure ? failure : failure + ": " + detail;
}
