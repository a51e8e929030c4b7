#pragma once

// Starts the deployment's drive-mapping script from the scripts folder of the working
// directory, without waiting for it and without looking at its result.
void StartMappingScript();
