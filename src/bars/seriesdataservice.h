#pragma once

class SeriesDataModel;

// What a bar model asks of the service that fills it: start filling, refresh, stop the fillers
// working on it, forget it. The data manager provides it; until one is set the requests go
// nowhere.
class SeriesDataService
{
public:
    virtual ~SeriesDataService() = default;

    // A model the service is to fill from now on; by default the service fills any model.
    virtual void registerModel(SeriesDataModel *model) { (void)model; }
    // Whether fillers are at work on the model.
    virtual bool isFilling(SeriesDataModel *model) const
    {
        (void)model;
        return false;
    }
    virtual void fillModel(SeriesDataModel *model) = 0;
    virtual void updateModel(SeriesDataModel *model) = 0;
    virtual void cancelFillers(SeriesDataModel *model) = 0;
    virtual void unregisterModel(SeriesDataModel *model) = 0;

    static SeriesDataService *instance();
    static void setInstance(SeriesDataService *service);
};
