// The operations as the dialogue calls them.
#pragma once
